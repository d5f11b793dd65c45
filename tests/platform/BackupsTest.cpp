#include "platform/Backups.h"
#include "platform/MachineFolder.h"
#include "platform/ProfileWriter.h"
#include "platform/Registry.h"
#include "platform/RegistryStore.h"

#include "support/FileFixtures.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::readBytes;
using testing::writeBytes;

QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

const QByteArray kWinIni = "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n";
const QByteArray kSystemReg = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Net]\r\n\"MaxMTU\"=\"576\"\r\n\r\n";

// A machine folder with WIN.INI and system.reg (no SYSTEM.INI), and its writers with one run's
// backups.
class Backups : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeBytes(winIni, kWinIni));
        ASSERT_TRUE(writeBytes(machine.registryFile(), kSystemReg));
        QFile::setPermissions(machine.registryFile(), QFile::ReadOwner | QFile::WriteOwner);
        registryPermissions = QFileInfo(machine.registryFile()).permissions();
        registry.store().setBackups(&session);
    }
    // One change to each of the three files (two to WIN.INI).
    void changeEverything()
    {
        for (const char* speed : {"19200", "38400"})
            ASSERT_NE(writer.WritePrivateProfileStringA("Ports", "COM1:", speed, "c:\\windows\\win.ini"), 0);
        ASSERT_NE(
            writer.WritePrivateProfileStringA("386Enh", "COM1Buffer", "1024", "c:\\windows\\system.ini"), 0);
        HKEY key = 0;
        ASSERT_EQ(registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Net", 0, KEY_ALL_ACCESS_9X, &key),
                  ERROR_SUCCESS);
        ASSERT_EQ(
            registry.RegSetValueExA(key, "MaxMTU", 0, REG_SZ, reinterpret_cast<const quint8*>("1500"), 4),
            ERROR_SUCCESS);
        registry.RegCloseKey(key);
    }
    Result<RestoreOutcome> restore(bool force, const QString& name = {})
    {
        return restoreBackup(backups, name, machine.root(), force);
    }

    QTemporaryDir dir;
    QString backups = dir.path() + "/backups";
    MachineFolder machine{dir.path() + "/machine"};
    QString winIni = machine.driveC() + "/WINDOWS/WIN.INI";
    QString systemIni = machine.driveC() + "/WINDOWS/system.ini";
    BackupSession session{backups, machine.root()};
    ProfileWriter writer{machine, &session};
    RegistryApi registry{machine.registryFile()};
    QFile::Permissions registryPermissions;
};

TEST_F(Backups, KeepEachFileAsItWasBeforeTheRunsFirstChange)
{
    changeEverything();
    const Result<QList<Backup>> all = listBackups(backups);
    ASSERT_TRUE(all && all->size() == 1) << "one backup per run";
    const Backup& backup = all->front();
    EXPECT_EQ(backup.machine, machine.root());
    EXPECT_EQ(backup.folder, session.folder());
    // Each file: its path, what it held before ("-": it did not exist), and whether the hash of
    // the copy and of the last write match.
    QStringList seen;
    for (const BackedUpFile& file : backup.files) {
        const QByteArray before = file.copy.isEmpty() ? "-" : readBytes(backup.folder + '/' + file.copy);
        const bool hashes = (file.copy.isEmpty() || file.copySha256 == sha256(before)) &&
                            file.writtenSha256 == sha256(readBytes(file.path));
        seen << file.path + ' ' + QString::fromLatin1(before) + (hashes ? " ok" : " wrong hash");
    }
    EXPECT_EQ(seen, (QStringList{winIni + ' ' + kWinIni + " ok", systemIni + " - ok",
                                 machine.registryFile() + ' ' + kSystemReg + " ok"}));
}

TEST_F(Backups, RestoreOnlyOverFilesVelmoraLeftAsTheyAre)
{
    changeEverything();
    const QByteArray changedByWindows = "[Ports]\r\nCOM1:=2400,n,8,1\r\n";
    ASSERT_TRUE(writeBytes(winIni, changedByWindows));

    Result<RestoreOutcome> outcome = restore(false);
    ASSERT_TRUE(outcome) << outcome.reason().toStdString();
    EXPECT_EQ(outcome->restored, (QStringList{systemIni, machine.registryFile()}));
    EXPECT_EQ(outcome->leftAlone, QStringList{winIni});
    EXPECT_EQ(readBytes(winIni), changedByWindows);
    EXPECT_FALSE(QFileInfo::exists(systemIni)) << "a file that did not exist is removed again";
    EXPECT_EQ(readBytes(machine.registryFile()), kSystemReg);
    EXPECT_EQ(QFileInfo(machine.registryFile()).permissions(), registryPermissions);

    outcome = restore(true, session.folder().section('/', -1));
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->restored, QStringList{winIni});
    EXPECT_EQ(outcome->unchanged, (QStringList{systemIni, machine.registryFile()}));
    EXPECT_EQ(readBytes(winIni), kWinIni);

    EXPECT_EQ(restore(false, "1999-01-01").reason(), "there is no backup 1999-01-01 in " + backups);
    EXPECT_TRUE(restoreBackup(backups, {}, dir.path() + "/other", false)
                    .reason()
                    .startsWith("there is no backup of"));
}

// A backup that cannot be written stops the change: the file stays as it was.
TEST_F(Backups, UnwritableBackupFolderStopsTheChange)
{
    ASSERT_TRUE(writeBytes(backups, "a file where the folder should be"));
    EXPECT_EQ(writer.WritePrivateProfileStringA("Ports", "COM1:", "19200", "c:\\windows\\win.ini"), 0);
    EXPECT_TRUE(writer.lastError().contains("the backup folder " + backups + " cannot be made"))
        << writer.lastError().toStdString();
    HKEY key = 0;
    ASSERT_EQ(registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Net", 0, KEY_ALL_ACCESS_9X, &key), ERROR_SUCCESS);
    EXPECT_EQ(registry.RegSetValueExA(key, "MaxMTU", 0, REG_SZ, reinterpret_cast<const quint8*>("1500"), 4),
              ERROR_ACCESS_DENIED);
    EXPECT_TRUE(registry.lastError().contains(backups)) << registry.lastError().toStdString();
    registry.RegCloseKey(key);
    EXPECT_EQ(readBytes(winIni), kWinIni);
    EXPECT_EQ(readBytes(machine.registryFile()), kSystemReg);
}

} // namespace
} // namespace velmora
