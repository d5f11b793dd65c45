#include "buffers/Form5.h"

#include "support/HiveFixtures.h"
#include "support/WindowTest.h"

namespace velmora {
namespace {

namespace t = velmora::testing;

const QString kWinIni = QStringLiteral("WIN98/WIN.INI");
const QString kSerial = QStringLiteral("System\\CurrentControlSet\\Services\\Serial");

// Drive C of a Windows 98 installation whose Windows folder is WIN98, so that "c:\windows\..."
// must be followed there. Its SYSTEM.DAT is a real one.
class DriveTest : public t::WindowTest {
protected:
    DriveTest()
        : WindowTest([](const QString& root) {
              ASSERT_TRUE(t::writeBytes(root + "/MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WIN98\r\n"));
              ASSERT_TRUE(t::writeBytes(root + "/WIN98/WIN.INI", "[Ports]\r\nCOM2:=9600,n,8,1,x\r\n"));
              ASSERT_TRUE(t::writeBytes(root + "/WIN98/SYSTEM.DAT", t::hiveFile("SYSTEM.DAT")));
          })
    {
    }
};

// The windows write the drive's own files (its WIN.INI and SYSTEM.DAT), each backed up first, so
// that a restore undoes them all. What each window writes is checked on a plain machine; here,
// only that they reach the drive's files.
TEST_F(DriveTest, TheWindowsWorkOnTheDriveAndARestoreUndoesThem)
{
    const QByteArray winIni = machine.readFile(kWinIni), original = machine.registryBytes();
    ASSERT_NE(mainWindow(), nullptr);
    pick("cmbCommPorts", "Com Port 2");
    type("comBps", "19200");
    clickExpecting("cmdApplyCom", QStringLiteral("Comm Settings have Been Changed!"));
    EXPECT_TRUE(machine.readFile(kWinIni).contains("COM2:=19200,n,8,1,x\r\n"));

    ASSERT_NE(openFrom<Form5>("cmdCustomBufferSet"), nullptr);
    pick("cmbTx", "4MB");
    pick("cmbRx", "8MB");
    clickExpecting("cmdSetFIFOBuff", QStringLiteral("Receive Buffer and Transmit Buffer have been set!"));
    EXPECT_EQ(machine.storedValue(kSerial, QStringLiteral("RxFIFO")),
              (t::TestMachine::Value{REG_DWORD, t::dword(8196)}));

    const Result<RestoreOutcome> restored =
        restoreBackup(machine.backupsFolder(), QString(), machine.root(), false);
    ASSERT_TRUE(restored) << restored.reason().toStdString();
    EXPECT_EQ(machine.registryBytes(), original);
    EXPECT_EQ(machine.readFile(kWinIni), winIni);
}

} // namespace
} // namespace velmora
