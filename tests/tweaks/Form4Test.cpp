#include "tweaks/Form4.h"
#include "platform/Registry.h"
#include "support/WindowTest.h"

#include <QCheckBox>

namespace velmora {
namespace {

using Value = testing::TestMachine::Value;

const QString kAdapterKey = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000");
const QString kInitKey =
    QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Settings\\Init");
const QByteArray kInitBlock =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Settings\\Init]\r\n";
const QByteArray kModemBlock = "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000]"
                               "\r\n\"Model\"=\"Accura 56K\"\r\n";

class Form4Test : public testing::WindowTest {
protected:
    Form4* open(const QByteArray& registry)
    {
        machine.writeRegistry(registry);
        return openFrom<Form4>("cmdCustomModemSet");
    }
    void expectQuestion(MsgAnswer answer)
    {
        machine.boxes().expect(
            QStringLiteral(
                "By Making your downloads faster, the 'Time Remaining' will be inaccurate\r\nProceede?"),
            MsgIcon::None, MsgButtons::YesNo, answer);
    }
};

// Only the exact command disables both buttons, and an existing value is never replaced.
TEST_F(Form4Test, TheInitialisationCommandIsWrittenOnlyWhereNoneIsStored)
{
    ASSERT_NE(open(kInitBlock + "\"2\"=\"AT%C0\"\r\n"), nullptr);
    EXPECT_FALSE(control("Command1")->isEnabled() || control("Command2")->isEnabled());
    window->close();
    ASSERT_NE(open(kInitBlock + "\"2\"=\"at%c0\"\r\n"), nullptr);
    const QByteArray before = machine.registryBytes();
    click("Command1");
    EXPECT_EQ(machine.registryBytes(), before);
    window->close();

    ASSERT_NE(open(kModemBlock), nullptr); // no Settings\Init key at all
    expectQuestion(MsgAnswer::No);
    machine.boxes().expect(QStringLiteral("Nothing was changed!"));
    click("Command2");
    EXPECT_EQ(machine.storedValue(kInitKey, "2"), std::nullopt);
    expectQuestion(MsgAnswer::Yes);
    machine.boxes().expect(QStringLiteral("Settings were applied!"));
    click("Command2");
    machine.boxes().verifyAllShown();
    EXPECT_EQ(machine.storedValue(kInitKey, "2"), (Value{REG_SZ, "AT%C0"}));
    EXPECT_TRUE(control("Command1")->isEnabled()); // only a load disables it
}

// A stored "1" ticks its box, "0" or nothing leaves it clear; Set writes what the box shows.
TEST_F(Form4Test, SetWritesEachSwitchAsItsBoxShowsIt)
{
    const struct {
        const char *check, *button, *value;
        Value on, off;
        const char* shownName; // in "... was Turned ON/OFF"
    } switches[] = {
        {"Check1", "Command3", "SLOWNET", {REG_BINARY, "01"}, {REG_BINARY, "00"}, "Slownet"},
        {"Check2",
         "Command4",
         "IPXHeaderCompression",
         {REG_SZ, "1"},
         {REG_SZ, "0"},
         "IPX Header Compression"},
        {"Check3", "Command5", "PointToPointIP", {REG_SZ, "1"}, {REG_SZ, "0"}, "Point To Point IP"},
    };
    ASSERT_NE(open("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0000]\r\n"
                   "\"SLOWNET\"=\"1\"\r\n\"PointToPointIP\"=\"0\"\r\n"),
              nullptr);
    for (const auto& s : switches) {
        SCOPED_TRACE(s.button);
        const bool ticked = control<QCheckBox>(s.check)->isChecked();
        EXPECT_EQ(ticked, s.check == std::string("Check1"));
        if (ticked)
            click(s.check);
        for (const bool on : {true, false}) {
            click(s.check);
            machine.boxes().expect(QString::fromLatin1(s.shownName) +
                                   (on ? " was Turned ON" : " was Turned OFF"));
            click(s.button);
            EXPECT_EQ(machine.storedValue(kAdapterKey, s.value), on ? s.on : s.off);
        }
    }
}

} // namespace
} // namespace velmora
