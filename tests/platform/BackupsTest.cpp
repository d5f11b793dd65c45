#include "platform/Backups.h"
#include "platform/MachineFolder.h"
#include "platform/ProfileWriter.h"
#include "platform/Registry.h"
#include "platform/RegistryStore.h"

#include "support/FileFixtures.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace testing;

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
        ASSERT_TRUE(writeBytes(winIni, kWinIni) && writeBytes(machine.registryFile(), kSystemReg));
        QFile::setPermissions(machine.registryFile(), QFile::ReadOwner | QFile::WriteOwner);
        registry.setBackups(&session);
    }
    long setMaxMtu() { return registry.setValue("net", "MaxMTU", REG_SZ, "1500", reason); }

    QTemporaryDir dir;
    QString backups = dir.path() + "/backups";
    MachineFolder machine{dir.path() + "/machine"};
    QString winIni = machine.driveC() + "/WINDOWS/WIN.INI";
    QString systemIni = machine.driveC() + "/WINDOWS/system.ini";
    BackupSession session{backups, machine.root()};
    ProfileWriter writer{machine, &session};
    RegistryStore registry{machine.registryFile()};
    QString reason;
};

TEST_F(Backups, KeepEachFileAsItWasBeforeTheRunsFirstChangeToRestoreIt)
{
    const QFile::Permissions registryPermissions = QFileInfo(machine.registryFile()).permissions();
    // One change to each of the three files (two to WIN.INI).
    for (const char* speed : {"19200", "38400"})
        ASSERT_NE(writer.WritePrivateProfileStringA("Ports", "COM1:", speed, "c:\\windows\\win.ini"), 0);
    ASSERT_NE(writer.WritePrivateProfileStringA("386Enh", "x", "1", "c:\\windows\\system.ini"), 0);
    ASSERT_EQ(setMaxMtu(), ERROR_SUCCESS) << reason.toStdString();
    const Result<QList<Backup>> all = listBackups(backups);
    ASSERT_TRUE(all && all->size() == 1) << "one backup per run";
    const Backup& backup = all->front();
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

    // A restore puts back only what still holds what Velmora wrote, unless forced.
    const QByteArray changedByWindows = "[Ports]\r\nCOM1:=2400,n,8,1\r\n";
    ASSERT_TRUE(writeBytes(winIni, changedByWindows));

    Result<RestoreOutcome> outcome = restoreBackup(backups, {}, machine.root(), false);
    ASSERT_TRUE(outcome) << outcome.reason().toStdString();
    EXPECT_EQ(outcome->restored, (QStringList{systemIni, machine.registryFile()}));
    EXPECT_EQ(outcome->leftAlone, QStringList{winIni});
    EXPECT_EQ(readBytes(winIni), changedByWindows);
    EXPECT_FALSE(QFileInfo::exists(systemIni)) << "a file that did not exist is removed again";
    EXPECT_EQ(readBytes(machine.registryFile()), kSystemReg);
    EXPECT_EQ(QFileInfo(machine.registryFile()).permissions(), registryPermissions);

    outcome = restoreBackup(backups, backup.name, machine.root(), true);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->restored, QStringList{winIni});
    EXPECT_EQ(outcome->unchanged, (QStringList{systemIni, machine.registryFile()}));
    EXPECT_EQ(readBytes(winIni), kWinIni);

    EXPECT_EQ(restoreBackup(backups, "1999-01-01", {}, false).reason(),
              "there is no backup 1999-01-01 in " + backups);
    const QString otherMachine = restoreBackup(backups, {}, dir.path() + "/other", false).reason();
    EXPECT_TRUE(otherMachine.startsWith("there is no backup of")) << otherMachine.toStdString();
}

// A backup that cannot be made stops the change: the file stays as it was. A manifest that
// cannot be saved takes back the copy just made and its entry, so the next try starts afresh.
TEST_F(Backups, ABackupThatCannotBeMadeStopsTheChangeHalfDoneNowhere)
{
    ASSERT_TRUE(writeBytes(backups, "a file where the folder should be"));
    EXPECT_EQ(writer.WritePrivateProfileStringA("Ports", "COM1:", "19200", "c:\\windows\\win.ini"), 0);
    EXPECT_TRUE(writer.lastError().contains("the backup folder " + backups + " cannot be made"))
        << writer.lastError().toStdString();
    EXPECT_EQ(readBytes(winIni), kWinIni);

    // Other runs took every name up to a quarter of a second ahead of the clock: this run's backup
    // is not mixed into theirs, it gets the first free name.
    ASSERT_TRUE(QFile::remove(backups));
    const QDateTime now = QDateTime::currentDateTime();
    for (qint64 ms = 0; now.toMSecsSinceEpoch() + ms < QDateTime::currentMSecsSinceEpoch() + 250; ++ms)
        ASSERT_TRUE(QDir().mkpath(backups + '/' + now.addMSecs(ms).toString("yyyy-MM-dd_HH-mm-ss.zzz")));
    ASSERT_NE(writer.WritePrivateProfileStringA("Ports", "COM1:", "19200", "c:\\windows\\win.ini"), 0);
    EXPECT_TRUE(session.folder().endsWith("-01")) << session.folder().toStdString();
    const QByteArray manifest = QFile::encodeName(session.folder() + "/manifest.json");
    ASSERT_EQ(::chmod(manifest.constData(), 0444), 0);
    EXPECT_EQ(setMaxMtu(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(reason.contains("manifest")) << reason.toStdString();
    EXPECT_EQ(readBytes(machine.registryFile()), kSystemReg);
    EXPECT_EQ(folderEntries(session.folder()), (QStringList{"1-WIN.INI", "manifest.json"}));
    ASSERT_EQ(::chmod(manifest.constData(), 0644), 0);
    EXPECT_EQ(setMaxMtu(), ERROR_SUCCESS) << reason.toStdString();
    EXPECT_EQ(folderEntries(session.folder()), (QStringList{"1-WIN.INI", "2-system.reg", "manifest.json"}));
}

} // namespace
} // namespace velmora
