#include "platform/Registry.h"
#include "support/WindowTest.h"

#include <QRadioButton>
#include <QTest>

namespace velmora {
namespace {

using Value = testing::TestMachine::Value;
using ModemSettingsFrameTest = testing::WindowTest;

// A stored text is shown whole (the box takes two typed characters but never cuts it) and left
// alone; a value that cannot be read as text is replaced by "8". Set writes the text as typed.
TEST_F(ModemSettingsFrameTest, MaxInstanceShowsTheStoredTextOrWritesEightAndSetWritesTheTyped)
{
    const QString ndi = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi");
    for (const auto& [line, stored] : {std::pair<QByteArray, const char*>{"\"MaxInstance\"=hex:31,36", "8"},
                                       {"\"MaxInstance\"=\"128\"", "128"}}) {
        SCOPED_TRACE(line.constData());
        machine.writeRegistry("[HKEY_LOCAL_MACHINE\\" + ndi.toLatin1() + "]\r\n" + line + "\r\n");
        const QByteArray before = machine.registryBytes();
        ASSERT_NE(mainWindow(), nullptr);
        EXPECT_EQ(shown("txtMaxInst"), stored);
        EXPECT_EQ(machine.storedValue(ndi, "MaxInstance"), (Value{REG_SZ, stored}));
        EXPECT_EQ(machine.registryBytes() == before, line.contains("=\""));
        type("txtMaxInst", "345");
        clickExpecting("cmdSetMaxInst", "Max Instance has been set!");
        EXPECT_EQ(machine.storedValue(ndi, "MaxInstance"), (Value{REG_SZ, "34"}));
        EXPECT_TRUE(mainWindow()->close()); // the next load reads afresh
    }
}

// The sizes and keys of every choice are the MtuChoice table's; this proves the buttons use it.
TEST_F(ModemSettingsFrameTest, MtuShowsAndWritesTheChosenSizeAndRefusesABadOneForAol)
{
    const QString adapter = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000");
    const QString aol = QStringLiteral("Software\\America%20Online\\AOL\\aolsock");
    machine.writeRegistry("[HKEY_LOCAL_MACHINE\\" + adapter.toLatin1() + "]\r\n\"IPMTU\"=\"1400\"\r\n");
    ASSERT_NE(mainWindow(), nullptr);
    const auto option = [this](int i) { return control<QRadioButton>(QStringLiteral("optMTU_%1").arg(i)); };
    EXPECT_TRUE(option(4)->isChecked());
    EXPECT_EQ(shown("txtMTU"), "1400");
    QTest::mouseClick(option(1), Qt::LeftButton);
    clickExpecting("Command3", "Dial-Up Adapter MTU Packet Size has been set!");
    EXPECT_EQ(machine.storedValue(adapter, "IPMTU"), (Value{REG_SZ, "576"}));
    QTest::mouseClick(option(4), Qt::LeftButton);
    clickExpecting("Command2", "America Online MTU Packet Size has been set!");
    EXPECT_EQ(machine.storedValue(aol, "mtu"), (Value{REG_DWORD, testing::dword(1400)}));
    type("txtMTU", "14k");
    clickExpecting("Command2", "Please enter a valid MTU packet size!", MsgIcon::Exclamation);
    EXPECT_EQ(machine.storedValue(aol, "mtu"), (Value{REG_DWORD, testing::dword(1400)}));
}

} // namespace
} // namespace velmora
