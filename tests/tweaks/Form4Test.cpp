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
const QByteArray kAdapterBlock =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0000]\r\n";
const QByteArray kInitBlock =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Settings\\Init]\r\n";
const QByteArray kModemBlock = "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000]"
                               "\r\n\"Model\"=\"Accura 56K\"\r\n";

class Form4Test : public testing::WindowTest {
protected:
    Form4* open() { return openFrom<Form4>("cmdCustomModemSet"); }
    bool checked(const char* name) { return control<QCheckBox>(name)->isChecked(); }
    void expectQuestion(MsgAnswer answer)
    {
        machine.boxes().expect(
            QStringLiteral(
                "By Making your downloads faster, the 'Time Remaining' will be inaccurate\r\nProceede?"),
            MsgIcon::None, MsgButtons::YesNo, answer);
    }
};

TEST_F(Form4Test, LoadShowsOnlyTheTextsZeroAndOneAsSwitchStates)
{
    const struct {
        const char* name;
        QByteArray value; // the SLOWNET line, empty when missing
        bool boxChecked;
    } cases[] = {
        {"missing", "", false},
        {"text 1", "\"SLOWNET\"=\"1\"\r\n", true},
        {"text 01", "\"SLOWNET\"=\"01\"\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        machine.writeRegistry(kAdapterBlock + c.value);
        ASSERT_NE(open(), nullptr);
        EXPECT_EQ(checked("Check1"), c.boxChecked);
        EXPECT_FALSE(checked("Check2"));
        EXPECT_FALSE(checked("Check3"));
        window->close();
    }
}

TEST_F(Form4Test, OnlyTheExactCommandDisablesTheModemButtons)
{
    const struct {
        const char* name;
        QByteArray registry;
        bool enabled;
    } cases[] = {
        {"AT%C0", kInitBlock + "\"2\"=\"AT%C0\"\r\n", false},
        {"other letter case", kInitBlock + "\"2\"=\"at%c0\"\r\n", true},
        {"key missing", kModemBlock, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        machine.writeRegistry(c.registry);
        ASSERT_NE(open(), nullptr);
        EXPECT_EQ(control("Command1")->isEnabled(), c.enabled);
        EXPECT_EQ(control("Command2")->isEnabled(), c.enabled);
        window->close();
    }
}

TEST_F(Form4Test, AnExistingInitialisationValueIsNeverReplaced)
{
    machine.writeRegistry(kInitBlock + "\"2\"=\"at%c0\"\r\n");
    ASSERT_NE(open(), nullptr);
    const QByteArray before = machine.registryBytes();
    click("Command1");
    expectQuestion(MsgAnswer::Yes);
    click("Command2");
    EXPECT_EQ(machine.boxes().shown().size(), 1u);
    EXPECT_EQ(machine.registryBytes(), before);
}

TEST_F(Form4Test, SetWritesTheCommandAndCreatesAMissingKey)
{
    for (const char* button : {"Command1", "Command2"}) {
        SCOPED_TRACE(button);
        machine.writeRegistry(kModemBlock); // no Settings\Init key at all
        ASSERT_NE(open(), nullptr);
        const bool asks = QByteArray(button) == "Command2";
        if (asks)
            expectQuestion(MsgAnswer::Yes);
        machine.boxes().expect(QStringLiteral("Settings were applied!"));
        click(button);
        machine.boxes().verifyAllShown();
        EXPECT_EQ(machine.storedValue(kInitKey, "2"), (Value{REG_SZ, "AT%C0"}));
        EXPECT_TRUE(control(button)->isEnabled()); // only a load disables it

        EXPECT_TRUE(machine.registryBytes().contains("\"Model\"=\"Accura 56K\"")); // the key above is kept
        window->close();
    }
}

TEST_F(Form4Test, AnsweringNoTouchesNothing)
{
    machine.writeRegistry(kModemBlock);
    ASSERT_NE(open(), nullptr);
    const QByteArray before = machine.registryBytes();
    expectQuestion(MsgAnswer::No);
    machine.boxes().expect(QStringLiteral("Nothing was changed!"));
    click("Command2");
    EXPECT_EQ(machine.registryBytes(), before);
}

TEST_F(Form4Test, SetWritesEachSwitchAsItsBoxShowsIt)
{
    const struct {
        const char* check;
        const char* button;
        const char* value;
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
    machine.writeRegistry(kModemBlock); // the adapter's key is created by the first write
    ASSERT_NE(open(), nullptr);
    for (const auto& s : switches) {
        SCOPED_TRACE(s.button);
        click(s.check); // ticking alone writes nothing
        EXPECT_EQ(machine.storedValue(kAdapterKey, s.value), std::nullopt);
        machine.boxes().expect(QString::fromLatin1(s.shownName) + QStringLiteral(" was Turned ON"));
        click(s.button);
        EXPECT_EQ(machine.storedValue(kAdapterKey, s.value), s.on);
        click(s.check);
        machine.boxes().expect(QString::fromLatin1(s.shownName) + QStringLiteral(" was Turned OFF"));
        click(s.button);
        EXPECT_EQ(machine.storedValue(kAdapterKey, s.value), s.off);
    }
}

} // namespace
} // namespace velmora
