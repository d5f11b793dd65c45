#include "support/WindowTest.h"
#include "tweaks/Form4.h"
#include "tweaks/MtuChoice.h"

#include <QCheckBox>
#include <QRadioButton>

namespace velmora {
namespace {

const QString kModem = "System\\CurrentControlSet\\Services\\Class\\Modem\\0000";
const QString kAdapter = "System\\CurrentControlSet\\Services\\Class\\Net\\0000";
using Value = testing::TestMachine::Value;

TEST(MtuChoiceTest, EachOptionWritesItsSizeForBothClients)
{
    const auto ipmtu = [](const char* text) {
        return MtuWrite{kAdapter + "\\", "IPMTU", 1, QString::fromLatin1(text)};
    };
    const auto mtu = [](const char* key, qint32 size) {
        return MtuWrite{QString("Software\\America%1Online\\AOL\\aolsock\\").arg(key), "mtu", 4, size};
    };
    const struct {
        int option;
        const char* typed;
        MtuWrite dialUp; // a typed text is written as it stands, even when empty
        std::optional<MtuWrite> aol;
    } cases[] = {
        {0, "", ipmtu("0"), mtu(" ", 0)},       {1, "9", ipmtu("576"), mtu(" ", 576)},
        {2, "", ipmtu("1000"), mtu(" ", 1000)}, {3, "", ipmtu("1500"), mtu(" ", 1500)},
        {4, "-1", ipmtu("-1"), mtu("%20", -1)}, // stored as the number 0xFFFFFFFF
        {4, "", ipmtu(""), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(dialUpMtuWrite(c.option, c.typed) == c.dialUp && aolMtuWrite(c.option, c.typed) == c.aol)
            << c.option << c.typed;
    for (const auto& [stored, option] : {std::pair{"0", 0}, {"1500", 3}, {"0576", 4}})
        EXPECT_EQ(mtuOptionForStoredText(stored), option) << stored;
}

class ModemSettingsTest : public testing::WindowTest {
protected:
    Form4* open(const QString& key, const QByteArray& values)
    {
        machine.writeRegistry("[HKEY_LOCAL_MACHINE\\" + key.toLatin1() + "]\r\n" + values);
        return openFrom<Form4>("cmdCustomModemSet");
    }
};

// The main window's tweaks. A stored MaxInstance text is shown whole (the box takes two typed
// characters but never cuts it) and left alone; a value that cannot be read as text is replaced by
// "8". Set writes the text as typed.
TEST_F(ModemSettingsTest, MainWindowShowsTheStoredValuesAndSetWritesTheTyped)
{
    const QString ndi = "System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi";
    for (const auto& [line, stored] : {std::pair<QByteArray, const char*>{"\"MaxInstance\"=hex:31,36", "8"},
                                       {"\"MaxInstance\"=\"128\"", "128"}}) {
        machine.writeRegistry("[HKEY_LOCAL_MACHINE\\" + ndi.toLatin1() + "]\r\n" + line + "\r\n");
        ASSERT_NE(mainWindow(), nullptr);
        EXPECT_EQ(shown("txtMaxInst"), stored);
        EXPECT_EQ(machine.storedValue(ndi, "MaxInstance"), (Value{REG_SZ, stored})) << line.constData();
        type("txtMaxInst", "345");
        clickExpecting("cmdSetMaxInst", "Max Instance has been set!");
        EXPECT_EQ(machine.storedValue(ndi, "MaxInstance"), (Value{REG_SZ, "34"}));
        EXPECT_TRUE(mainWindow()->close()); // the next load reads afresh
    }
    // Which option a stored size picks is the MtuChoice table's, and what each button writes is
    // compared with the script's writes; this proves the load shows the size, and a bad size typed
    // for AOL is refused with nothing written.
    machine.writeRegistry("[HKEY_LOCAL_MACHINE\\" + kAdapter.toLatin1() + "]\r\n\"IPMTU\"=\"1400\"\r\n");
    ASSERT_NE(mainWindow(), nullptr);
    EXPECT_TRUE(control<QRadioButton>("optMTU_4")->isChecked() && shown("txtMTU") == "1400");
    const QByteArray before = machine.registryBytes();
    type("txtMTU", "14k");
    clickExpecting("Command2", "Please enter a valid MTU packet size!", MsgIcon::Exclamation);
    EXPECT_EQ(machine.registryBytes(), before);
}

// The modem settings window. Only the exact initialisation command disables both its buttons,
// and an existing value is never replaced.
TEST_F(ModemSettingsTest, InitialisationCommandAndSwitches)
{
    const QString init = kModem + "\\Settings\\Init";
    ASSERT_NE(open(init, "\"2\"=\"AT%C0\"\r\n"), nullptr);
    EXPECT_FALSE(control("Command1")->isEnabled() || control("Command2")->isEnabled());
    window->close();
    ASSERT_NE(open(init, "\"2\"=\"at%c0\"\r\n"), nullptr);
    const QByteArray before = machine.registryBytes();
    click("Command1");
    EXPECT_EQ(machine.registryBytes(), before);
    window->close();

    ASSERT_NE(open(kModem, "\"Model\"=\"Accura 56K\"\r\n"), nullptr); // no Settings\Init key at all
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        const bool yes = answer == MsgAnswer::Yes;
        machine.boxes.expect(
            "By Making your downloads faster, the 'Time Remaining' will be inaccurate\r\nProceede?",
            MsgIcon::None, MsgButtons::YesNo, answer);
        clickExpecting("Command2", yes ? "Settings were applied!" : "Nothing was changed!");
        EXPECT_EQ(machine.storedValue(init, "2"), yes ? std::optional(Value{REG_SZ, "AT%C0"}) : std::nullopt);
    }
    window->close();

    // A stored "1" ticks its box, "0" or nothing leaves it clear; Set writes what the box shows.
    const struct {
        const char *check, *button, *value;
        quint32 type;
        const char *on, *off, *shownName; // in "... was Turned ON/OFF"
    } switches[] = {
        {"Check1", "Command3", "SLOWNET", REG_BINARY, "01", "00", "Slownet"},
        {"Check2", "Command4", "IPXHeaderCompression", REG_SZ, "1", "0", "IPX Header Compression"},
        {"Check3", "Command5", "PointToPointIP", REG_SZ, "1", "0", "Point To Point IP"},
    };
    ASSERT_NE(open(kAdapter, "\"SLOWNET\"=\"1\"\r\n\"PointToPointIP\"=\"0\"\r\n"), nullptr);
    for (const auto& s : switches) {
        const bool ticked = control<QCheckBox>(s.check)->isChecked();
        EXPECT_EQ(ticked, s.check == std::string("Check1")) << s.check;
        for (const bool on : {!ticked, ticked}) {
            click(s.check); // a ticked box is written off, then on; an unticked one on, then off
            clickExpecting(s.button, QString(s.shownName) + (on ? " was Turned ON" : " was Turned OFF"));
            EXPECT_EQ(machine.storedValue(kAdapter, s.value), (Value{s.type, on ? s.on : s.off})) << s.value;
        }
    }
}

} // namespace
} // namespace velmora
