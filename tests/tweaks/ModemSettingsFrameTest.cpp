#include "platform/Registry.h"
#include "support/WindowTest.h"

#include <QRadioButton>
#include <QTest>

namespace velmora {
namespace {

using testing::dword;
using Value = testing::TestMachine::Value;

const QString kNdi = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi");
const QByteArray kNdiBlock =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi]\r\n";

class MtuFrameTest : public testing::WindowTest {
protected:
    QRadioButton* option(int i) { return control<QRadioButton>(QStringLiteral("optMTU_%1").arg(i)); }
    void set(const char* button, const QString& message)
    {
        machine.boxes().expect(message);
        click(button);
    }
};

struct MaxInstanceCase {
    const char* name;
    QByteArray line;
    const char* shown;
};

class MaxInstanceTest : public MtuFrameTest, public ::testing::WithParamInterface<MaxInstanceCase> {};

// A stored text is shown whole (the box takes two typed characters but never cuts it) and left
// alone; a value that cannot be read as text is replaced by "8". Set writes the text as typed.
TEST_P(MaxInstanceTest, ShowsTheStoredTextOrWritesEightAndSetWritesTheTyped)
{
    machine.writeRegistry(kNdiBlock + GetParam().line);
    const QByteArray before = machine.registryBytes();
    ASSERT_NE(mainWindow(), nullptr);
    EXPECT_EQ(shown("txtMaxInst"), QString::fromLatin1(GetParam().shown));
    EXPECT_EQ(machine.storedValue(kNdi, "MaxInstance"), (Value{REG_SZ, GetParam().shown}));
    EXPECT_EQ(machine.registryBytes() == before, GetParam().line.contains("=\""));

    type("txtMaxInst", QStringLiteral("345"));
    set("cmdSetMaxInst", QStringLiteral("Max Instance has been set!"));
    EXPECT_EQ(machine.storedValue(kNdi, "MaxInstance"), (Value{REG_SZ, "34"}));
}

INSTANTIATE_TEST_SUITE_P(Stored, MaxInstanceTest,
                         ::testing::Values(MaxInstanceCase{"Binary", "\"MaxInstance\"=hex:31,36\r\n", "8"},
                                           MaxInstanceCase{"Long", "\"MaxInstance\"=\"128\"\r\n", "128"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The sizes and keys of every choice are the MtuChoice table's; this proves the buttons use it.
TEST_F(MtuFrameTest, TheWindowShowsAndWritesTheChosenSizeAndRefusesABadOneForAol)
{
    const QString aol = QStringLiteral("Software\\America%20Online\\AOL\\aolsock");
    machine.writeRegistry("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0000]\r\n"
                          "\"IPMTU\"=\"1400\"\r\n\r\n");
    ASSERT_NE(mainWindow(), nullptr);
    EXPECT_TRUE(option(4)->isChecked());
    EXPECT_EQ(shown("txtMTU"), QStringLiteral("1400"));
    QTest::mouseClick(option(1), Qt::LeftButton);
    set("Command3", QStringLiteral("Dial-Up Adapter MTU Packet Size has been set!"));
    EXPECT_EQ(
        machine.storedValue(QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000"), "IPMTU"),
        (Value{REG_SZ, "576"}));
    QTest::mouseClick(option(4), Qt::LeftButton);
    set("Command2", QStringLiteral("America Online MTU Packet Size has been set!"));
    EXPECT_EQ(machine.storedValue(aol, "mtu"), (Value{REG_DWORD, dword(1400)}));

    type("txtMTU", "14k");
    machine.boxes().expect(QStringLiteral("Please enter a valid MTU packet size!"), MsgIcon::Exclamation);
    click("Command2");
    EXPECT_EQ(machine.storedValue(aol, "mtu"), (Value{REG_DWORD, dword(1400)}));
}

} // namespace
} // namespace velmora
