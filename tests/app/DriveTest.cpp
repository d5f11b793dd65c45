#include "buffers/Form5.h"
#include "platform/Backups.h"

#include "support/FileFixtures.h"
#include "support/HiveFixtures.h"
#include "support/WindowTest.h"

namespace velmora {
namespace {

namespace t = velmora::testing;
using Value = t::TestMachine::Value;

const QString kWinIni = QStringLiteral("WIN98/WIN.INI");
const QString kSystemIni = QStringLiteral("WIN98/SYSTEM.INI");
const QString kSerial = QStringLiteral("System\\CurrentControlSet\\Services\\Serial");

// Drive C of a Windows 98 installation whose Windows folder is WIN98, so that "c:\windows\..."
// must be followed there. Its SYSTEM.DAT is a real one.
void layOutDrive(const QString& root)
{
    ASSERT_TRUE(t::writeBytes(root + "/MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WIN98\r\nWinBootDir=C:\\WIN98\r\n"
                                                   "HostWinBootDrv=C\r\n\r\n[Options]\r\nBootGUI=1\r\n"));
    ASSERT_TRUE(t::writeBytes(root + "/WIN98/WIN.INI", "[windows]\r\nload=\r\n\r\n[Ports]\r\n"
                                                       "COM1:=9600,n,8,1,x\r\nCOM2:=9600,n,8,1,x\r\n"));
    ASSERT_TRUE(t::writeBytes(root + "/WIN98/SYSTEM.INI", "[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\n"
                                                          "ebios=*ebios\r\n"));
    ASSERT_TRUE(t::writeBytes(root + "/WIN98/SYSTEM.DAT", t::hiveFile("SYSTEM.DAT")));
}

class DriveTest : public t::WindowTest {
protected:
    DriveTest() : WindowTest(layOutDrive) {}
};

// The windows write the drive's own files (its WIN.INI, SYSTEM.INI and SYSTEM.DAT), each backed
// up first, so that a restore undoes them all. What each window writes is checked on a plain
// machine; here, only that they reach the drive's files.
TEST_F(DriveTest, TheWindowsWorkOnTheDriveAndARestoreUndoesThem)
{
    ASSERT_EQ(machine.app().machine().kind(), MachineFolder::Kind::Drive);
    ASSERT_TRUE(machine.app().machine().registryFile().endsWith(QLatin1String("/WIN98/SYSTEM.DAT")));
    const QByteArray winIni = machine.readFile(kWinIni), systemIni = machine.readFile(kSystemIni);
    const QByteArray original = machine.registryBytes();
    ASSERT_NE(mainWindow(), nullptr);

    pick("cmbCommPorts", "Com Port 2");
    type("comBps", "19200");
    machine.boxes().expect(QStringLiteral("Comm Settings have Been Changed!"));
    click("cmdApplyCom");
    EXPECT_TRUE(machine.readFile(kWinIni).contains("COM2:=19200,n,8,1,x\r\n"));

    ASSERT_NE(openFrom<Form5>("cmdCustomBufferSet"), nullptr);
    pick("cmbTx", "4MB");
    pick("cmbRx", "8MB");
    machine.boxes().expect(QStringLiteral("Receive Buffer and Transmit Buffer have been set!"));
    click("cmdSetFIFOBuff");
    machine.boxes().expect(QStringLiteral("Are You Sure You Want To Set This Buffer?"), MsgIcon::Question,
                           MsgButtons::YesNo, MsgAnswer::Yes);
    machine.boxes().expect(QStringLiteral("Buffer Was Set! You Should Restart to apply the Changes"));
    click("cmdSetBuffer");
    machine.boxes().verifyAllShown();
    EXPECT_TRUE(machine.readFile(kSystemIni)
                    .contains("[386Enh]\r\nebios=*ebios\r\nCom2Irq=3\r\nCom2Buffer=1024\r\n"));
    EXPECT_EQ(machine.storedValue(kSerial, QStringLiteral("TxFIFO")), (Value{REG_DWORD, t::dword(4098)}));
    EXPECT_EQ(machine.storedValue(kSerial, QStringLiteral("RxFIFO")), (Value{REG_DWORD, t::dword(8196)}));

    const Result<RestoreOutcome> restored =
        restoreBackup(machine.backupsFolder(), QString(), machine.root(), false);
    ASSERT_TRUE(restored) << restored.reason().toStdString();
    EXPECT_TRUE(restored->failed.isEmpty() && restored->leftAlone.isEmpty())
        << restored->failed.join(';').toStdString();
    EXPECT_EQ(machine.registryBytes(), original);
    EXPECT_EQ(machine.readFile(kWinIni), winIni);
    EXPECT_EQ(machine.readFile(kSystemIni), systemIni);
}

} // namespace
} // namespace velmora
