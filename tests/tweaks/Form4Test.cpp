#include "tweaks/Form4.h"
#include "platform/Registry.h"
#include "support/WindowTest.h"

#include <QCheckBox>

namespace velmora {
namespace {

using Value = testing::TestMachine::Value;

const QString kModem = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Modem\\0000");
const QString kAdapter = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000");

class Form4Test : public testing::WindowTest {
protected:
    Form4* open(const QString& key, const QByteArray& values)
    {
        machine.writeRegistry("[HKEY_LOCAL_MACHINE\\" + key.toLatin1() + "]\r\n" + values);
        return openFrom<Form4>("cmdCustomModemSet");
    }
};

// Only the exact command disables both buttons, and an existing value is never replaced.
TEST_F(Form4Test, TheInitialisationCommandIsWrittenOnlyWhereNoneIsStored)
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
        machine.boxes().expect(
            "By Making your downloads faster, the 'Time Remaining' will be inaccurate\r\nProceede?",
            MsgIcon::None, MsgButtons::YesNo, answer);
        clickExpecting("Command2", yes ? "Settings were applied!" : "Nothing was changed!");
        EXPECT_EQ(machine.storedValue(init, "2"), yes ? std::optional(Value{REG_SZ, "AT%C0"}) : std::nullopt);
    }
    EXPECT_TRUE(control("Command1")->isEnabled()); // only a load disables it
}

// A stored "1" ticks its box, "0" or nothing leaves it clear; Set writes what the box shows.
TEST_F(Form4Test, SetWritesEachSwitchAsItsBoxShowsIt)
{
    const Value textOn{REG_SZ, "1"}, textOff{REG_SZ, "0"};
    const struct {
        const char *check, *button, *value;
        Value on, off;
        const char* shownName; // in "... was Turned ON/OFF"
    } switches[] = {
        {"Check1", "Command3", "SLOWNET", {REG_BINARY, "01"}, {REG_BINARY, "00"}, "Slownet"},
        {"Check2", "Command4", "IPXHeaderCompression", textOn, textOff, "IPX Header Compression"},
        {"Check3", "Command5", "PointToPointIP", textOn, textOff, "Point To Point IP"},
    };
    ASSERT_NE(open(kAdapter, "\"SLOWNET\"=\"1\"\r\n\"PointToPointIP\"=\"0\"\r\n"), nullptr);
    for (const auto& s : switches) {
        SCOPED_TRACE(s.button);
        const bool ticked = control<QCheckBox>(s.check)->isChecked();
        EXPECT_EQ(ticked, s.check == std::string("Check1"));
        if (ticked)
            click(s.check);
        for (const bool on : {true, false}) {
            click(s.check);
            clickExpecting(s.button, QString(s.shownName) + (on ? " was Turned ON" : " was Turned OFF"));
            EXPECT_EQ(machine.storedValue(kAdapter, s.value), on ? s.on : s.off);
        }
    }
}

} // namespace
} // namespace velmora
