#include "machine/Backups.h"
#include "machine/MachineFolder.h"
#include "profile/ProfileWriter.h"
#include "registry/HiveStore.h"
#include "registry/Registry.h"
#include "registry/RegistryStore.h"

#include "support/DiskImageFixtures.h"
#include "support/FileFixtures.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <functional>

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
    Result<Written> setMaxMtu() { return registry.setValue("net", "MaxMTU", REG_SZ, "1500"); }

    QTemporaryDir dir;
    QString backups = dir.path() + "/backups";
    MachineFolder machine{dir.path() + "/machine"};
    QString winIni = machine.driveC() + "/WINDOWS/WIN.INI";
    QString systemIni = machine.driveC() + "/WINDOWS/system.ini";
    BackupSession session{backups, machine.root()};
    ProfileWriter writer{machine, &session};
    RegistryStore registry{machine.registryFile()};
};

TEST_F(Backups, KeepEachFileAsItWasBeforeTheRunsFirstChangeToRestoreIt)
{
    const QFile::Permissions registryPermissions = QFileInfo(machine.registryFile()).permissions();
    // One change to each of the three files (two to WIN.INI).
    for (const char* speed : {"19200", "38400"})
        ASSERT_NE(writer.WritePrivateProfileStringA("Ports", "COM1:", speed, "c:\\windows\\win.ini"), 0);
    ASSERT_NE(writer.WritePrivateProfileStringA("386Enh", "x", "1", "c:\\windows\\system.ini"), 0);
    const Result<Written> set = setMaxMtu();
    ASSERT_TRUE(set) << set.reason().toStdString();
    const Result<QList<Backup>> all = listBackups(backups);
    ASSERT_TRUE(all && all->size() == 1) << "one backup per run";
    const Backup& backup = all->front();
    // Each file: its path, what it held before ("-": it did not exist), and whether the hash of
    // the copy and of the last write match.
    QStringList seen;
    for (const BackedUpFile& file : backup.files) {
        const QByteArray before = file.copy.isEmpty() ? "-" : readBytes(backup.folder + '/' + file.copy);
        const bool hashes = (file.copy.isEmpty() || file.copySha256 == sha256(before)) &&
                            file.writtenSha256 == sha256(readBytes(backup.shownPath(file)));
        seen << backup.shownPath(file) + ' ' + QString::fromLatin1(before) + (hashes ? " ok" : " wrong hash");
    }
    EXPECT_EQ(seen, (QStringList{winIni + ' ' + kWinIni + " ok", systemIni + " - ok",
                                 machine.registryFile() + ' ' + kSystemReg + " ok"}));
    EXPECT_FALSE(session.beforeChange(dir.path() + "/elsewhere.ini")) << "a file outside the machine";

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

    EXPECT_EQ(restoreBackup(backups, "1999-01-01", QString(), false).reason(),
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
    const Result<Written> refused = setMaxMtu();
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.reason().contains("manifest")) << refused.reason().toStdString();
    EXPECT_EQ(readBytes(machine.registryFile()), kSystemReg);
    EXPECT_EQ(folderEntries(session.folder()), (QStringList{"1-WIN.INI", "manifest.json"}));
    ASSERT_EQ(::chmod(manifest.constData(), 0644), 0);
    const Result<Written> set = setMaxMtu();
    EXPECT_TRUE(set) << set.reason().toStdString();
    EXPECT_EQ(folderEntries(session.folder()), (QStringList{"1-WIN.INI", "2-system.reg", "manifest.json"}));
}

// One run's backup of WIN.INI ("old", then written "new"), and beside the machine a canary file
// and a secret file that no restore may change, remove or read into the machine.
struct BackedUpMachine {
    BackedUpMachine()
    {
        EXPECT_TRUE(writeBytes(winIni, "old") && writeBytes(canary, "canary") &&
                    writeBytes(secret, "SECRET") && QFile::setPermissions(winIni, kWinIniMode));
        QFile file(canary);
        EXPECT_TRUE(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(canaryTime, QFileDevice::FileModificationTime));
        EXPECT_TRUE(session.beforeChange(winIni) && writeBytes(winIni, "new") &&
                    session.afterChange(winIni, "new"));
    }
    QString manifest() const { return session.folder() + "/manifest.json"; }
    void editManifest(const std::function<void(QJsonObject& root, QJsonObject& file)>& edit) const
    {
        QJsonObject root = QJsonDocument::fromJson(readBytes(manifest())).object();
        QJsonArray files = root["files"].toArray();
        QJsonObject file = files[0].toObject();
        edit(root, file);
        files[0] = file;
        root["files"] = files;
        ASSERT_TRUE(writeBytes(manifest(), QJsonDocument(root).toJson()));
    }
    // Names the file a copy of WIN.INI as it was would be written over.
    void pointAt(const QString& path, const QString& copy = "1-WIN.INI") const
    {
        editManifest([&](QJsonObject&, QJsonObject& file) {
            file["path"] = path;
            file["copy"] = copy;
            file["sha256"] = copy.isEmpty() ? "" : QString(sha256("old"));
            file["written_sha256"] = QString(sha256(readBytes(canary)));
        });
    }
    // Every ordinary file inside the machine, with what it holds.
    QStringList machineFiles() const
    {
        QStringList files;
        QDirIterator it(root, QDir::Files | QDir::NoSymLinks | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            files << path.mid(root.size() + 1) + '=' + readBytes(path);
        }
        return files;
    }

    QTemporaryDir dir;
    QString root = dir.path() + "/machine", winIni = root + "/drive_c/WINDOWS/WIN.INI";
    QString backups = dir.path() + "/backups", outside = dir.path() + "/outside";
    QString canary = outside + "/canary.txt", secret = outside + "/secret.txt";
    QDateTime canaryTime = QDateTime::fromSecsSinceEpoch(1000000000);
    BackupSession session{backups, root};
    static constexpr QFile::Permissions kWinIniMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
};

bool link(const QString& target, const QString& path)
{
    QFile::remove(path);
    return QFile::link(target, path);
}

// A manifest and a backup folder are data from disk like any other: whatever they say, a restore
// reads only the backup's own copies and writes or removes only the machine's own files.
TEST(BackupTampering, NeverLeadsARestoreOutOfTheMachine)
{
    const struct {
        const char* name;
        std::function<void(BackedUpMachine&)> tamper;
        bool force, named, withMachine;
        const char* refused; // a part of the reason the whole restore is refused; else
        const char* failed;  // a part of the reason the file is not restored; else restored
    } cases[] = {
        {"an absolute path outside", [](BackedUpMachine& m) { m.pointAt(m.canary); }, false, false, true,
         "does not name a file inside the machine", nullptr},
        {"a path climbing out with ..",
         [](BackedUpMachine& m) { m.pointAt(m.root + "/drive_c/WINDOWS/../../../outside/canary.txt"); }, true,
         false, true, "does not name a file inside the machine", nullptr},
        {"an empty copy naming an outside file", [](BackedUpMachine& m) { m.pointAt(m.canary, ""); }, true,
         false, true, "does not name a file inside the machine", nullptr},
        {"a copy outside the backup folder",
         [](BackedUpMachine& m) {
             m.editManifest([&](QJsonObject&, QJsonObject& file) {
                 file["copy"] = "../../outside/secret.txt";
                 file["sha256"] = QString(sha256("SECRET"));
             });
         },
         true, false, true, "is not a file of the backup's folder", nullptr},
        {"a copy that is a link",
         [](BackedUpMachine& m) {
             ASSERT_TRUE(link(m.secret, m.session.folder() + "/1-WIN.INI"));
             m.editManifest(
                 [&](QJsonObject&, QJsonObject& file) { file["sha256"] = QString(sha256("SECRET")); });
         },
         true, false, true, nullptr, "cannot be read: it is a link"},
        {"WIN.INI a link leading out, forced",
         [](BackedUpMachine& m) { ASSERT_TRUE(link(m.canary, m.winIni)); }, true, false, true, nullptr,
         "leads out of the machine"},
        {"a folder that is a link leading out",
         [](BackedUpMachine& m) {
             ASSERT_TRUE(link(m.outside, m.root + "/drive_c/OUT"));
             m.pointAt("drive_c/OUT/canary.txt");
         },
         true, false, true, nullptr, "its folder is a link that leads out of the machine"},
        {"a removal through a folder that is a link",
         [](BackedUpMachine& m) {
             ASSERT_TRUE(link(m.outside, m.root + "/drive_c/OUT"));
             m.pointAt("drive_c/OUT/canary.txt", "");
         },
         true, false, true, nullptr, "its folder is a link that leads out of the machine"},
        {"a manifest naming another machine, restored by name",
         [](BackedUpMachine& m) {
             m.editManifest([&](QJsonObject& root, QJsonObject&) { root["machine"] = m.outside; });
             m.pointAt("canary.txt");
         },
         true, true, false, nullptr, "none of the machine's files"},
        {"an oversized manifest",
         [](BackedUpMachine& m) {
             m.editManifest([](QJsonObject& root, QJsonObject&) { root["pad"] = QString(2 << 20, 'x'); });
         },
         false, false, true, "too large (Velmora reads files of up to 1048576 bytes)", nullptr},
        {"a manifest that is not JSON",
         [](BackedUpMachine& m) { ASSERT_TRUE(writeBytes(m.manifest(), "{\"files\":")); }, false, false, true,
         "manifest.json is damaged: it is not JSON", nullptr},
        {"a manifest of the wrong shape",
         [](BackedUpMachine& m) {
             m.editManifest([](QJsonObject& root, QJsonObject&) { root["machine"] = 1; });
         },
         false, true, true, "is not an object with a machine and a list of files", nullptr},
        {"a manifest that is a link",
         [](BackedUpMachine& m) {
             ASSERT_TRUE(QFile::copy(m.manifest(), m.outside + "/manifest.json"));
             ASSERT_TRUE(link(m.outside + "/manifest.json", m.manifest()));
         },
         false, false, true, "manifest.json cannot be read: it is a link", nullptr},
        {"a path of the greatest length taken (4096)",
         [](BackedUpMachine& m) { m.pointAt("drive_c/" + QString("d/").repeated(2043) + "ab"); }, true, false,
         true, nullptr, "its folder does not exist"},
        {"an earlier version's absolute path inside the machine",
         [](BackedUpMachine& m) {
             m.editManifest([&](QJsonObject&, QJsonObject& file) { file["path"] = m.winIni; });
         },
         false, false, true, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BackedUpMachine m;
        c.tamper(m);
        const QStringList before = m.machineFiles();
        const Result<RestoreOutcome> outcome =
            restoreBackup(m.backups, c.named ? QFileInfo(m.session.folder()).fileName() : "",
                          c.withMachine ? m.root : "", c.force);
        if (c.refused) {
            EXPECT_TRUE(!outcome && outcome.reason().contains(c.refused) &&
                        outcome.reason().contains(QFileInfo(m.session.folder()).fileName()))
                << outcome.reason().toStdString();
            EXPECT_EQ(m.machineFiles(), before) << "nothing touched";
        } else if (c.failed) {
            ASSERT_TRUE(outcome) << outcome.reason().toStdString();
            EXPECT_TRUE(outcome->restored.isEmpty());
            EXPECT_TRUE(outcome->failed.join('\n').contains(c.failed))
                << outcome->failed.join('\n').toStdString();
        } else {
            ASSERT_TRUE(outcome) << outcome.reason().toStdString();
            EXPECT_EQ(outcome->restored, QStringList{m.winIni});
            EXPECT_EQ(readBytes(m.winIni), "old");
        }
        EXPECT_EQ(readBytes(m.canary), "canary");
        EXPECT_EQ(QFileInfo(m.canary).lastModified(), m.canaryTime);
        EXPECT_EQ(folderEntries(m.outside).filter(".txt"), (QStringList{"canary.txt", "secret.txt"}));
        EXPECT_FALSE(m.machineFiles().join('\n').contains("SECRET"));
    }
}

// What a restore says besides restoring: a newer damaged backup stops the newest being chosen, a
// file gone since is named missing, and the backups themselves only their owner can read.
TEST(BackupRestore, SaysWhatItCannotDoAndKeepsBackupsPrivate)
{
    BackedUpMachine m;
    const QString older = QFileInfo(m.session.folder()).fileName();
    const mode_t umaskBefore = ::umask(022);
    BackupSession second(m.backups, m.root);
    ASSERT_TRUE(second.beforeChange(m.winIni) && second.afterChange(m.winIni, "new"));
    ::umask(umaskBefore);
    const auto mode = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    };
    EXPECT_EQ(mode(m.backups), 0700u);
    EXPECT_EQ(mode(second.folder()), 0700u);
    EXPECT_EQ(mode(second.folder() + "/1-WIN.INI"), 0600u);
    EXPECT_EQ(mode(second.folder() + "/manifest.json"), 0600u);

    ASSERT_TRUE(writeBytes(second.folder() + "/manifest.json", "damaged"));
    const Result<RestoreOutcome> refused = restoreBackup(m.backups, {}, m.root, false);
    const QString newer = QFileInfo(second.folder()).fileName();
    EXPECT_TRUE(!refused && refused.reason().startsWith("the backup " + newer + " in " + m.backups +
                                                        " cannot be used: its manifest.json is damaged"))
        << refused.reason().toStdString();
    EXPECT_EQ(readBytes(m.winIni), "new");
    const Result<RestoreOutcome> another = restoreBackup(m.backups, older, m.dir.path() + "/other", false);
    EXPECT_TRUE(another.reason().contains("is of the machine " + m.root)) << another.reason().toStdString();

    ASSERT_TRUE(QFile::remove(m.winIni));
    Result<RestoreOutcome> outcome = restoreBackup(m.backups, older, m.root, false);
    ASSERT_TRUE(outcome) << outcome.reason().toStdString();
    EXPECT_EQ(outcome->missing, QStringList{m.winIni});
    EXPECT_FALSE(QFileInfo::exists(m.winIni));
    outcome = restoreBackup(m.backups, older, m.root, true);
    ASSERT_TRUE(outcome) << outcome.reason().toStdString();
    EXPECT_EQ(outcome->restored, QStringList{m.winIni});
    EXPECT_EQ(readBytes(m.winIni), "old");
    EXPECT_EQ(mode(m.winIni), 0640u) << "made again with the mode it had";
}

// Each machine keeps its newest backups; another machine's, and one that cannot be read, stay.
// What interrupted writes left in a backup folder goes.
TEST(BackupPruning, KeepsTheNewestOfTheMachineAndSweepsTemporaries)
{
    QTemporaryDir dir;
    const QString backups = dir.path() + "/backups", root = dir.path() + "/machine";
    const QString winIni = root + "/drive_c/WINDOWS/WIN.INI";
    ASSERT_TRUE(writeBytes(winIni, "old"));
    const auto make = [&](int number, const QString& machine) {
        const QString folder = backups + QString("/2000-01-01_00-00-00.%1").arg(number, 3, 10, QChar('0'));
        return writeBytes(folder + "/manifest.json",
                          QJsonDocument(QJsonObject{{"machine", machine}, {"files", QJsonArray()}}).toJson());
    };
    for (int number = 1; number <= kBackupsKept + 2; ++number)
        ASSERT_TRUE(make(number, root));
    ASSERT_TRUE(make(0, dir.path() + "/other") &&
                writeBytes(backups + "/2000-01-01_00-00-00.100/manifest.json", "{"));
    const QString temporary = backups + "/2000-01-01_00-00-00.020/manifest.json.velmora-Ab12Cd";
    ASSERT_TRUE(writeBytes(temporary, "half"));
    const QByteArray open = QFile::encodeName(backups + "/2000-01-01_00-00-00.021");
    ASSERT_EQ(::chmod(open.constData(), 0755), 0);

    BackupSession session(backups, root);
    ASSERT_TRUE(session.beforeChange(winIni));
    ASSERT_EQ(listBackups(backups)->size(), kBackupsKept + 5) << "a change not made yet pushes none out";
    ASSERT_TRUE(session.afterChange(winIni, "new"));
    const Result<QList<Backup>> kept = listBackups(backups);
    ASSERT_TRUE(kept);
    QStringList names;
    for (const Backup& backup : *kept)
        names << backup.name.right(3) + (backup.machine == root ? "" : " other");
    QStringList expected = {"000 other"}; // the oldest three of the machine's went
    for (int number = 4; number <= 22; ++number)
        expected << QString::number(number).rightJustified(3, '0');
    expected << "100 other" << session.folder().right(3);
    EXPECT_EQ(names, expected);
    EXPECT_FALSE(QFileInfo::exists(temporary));
    struct stat st {};
    EXPECT_TRUE(::stat(open.constData(), &st) == 0 && (st.st_mode & 0777) == 0700) << "closed to others";
}

// A raw disk image whose WIN.INI and SYSTEM.DAT one run changed through the writers the windows
// use, and on which it made NEW.INI, with that run's backup; the image is closed again, as after
// the run.
struct BackedUpImage {
    BackedUpImage()
    {
        const MachineFolder machine(image);
        BackupSession session(backups, image);
        ProfileWriter writer(machine, backupsOf(machine, session));
        HiveStore hive(machine.registryFile(), machine.drive());
        hive.setBackups(backupsOf(machine, session));
        EXPECT_NE(
            writer.WritePrivateProfileStringA("Ports", "COM2:", "19200,n,8,1,x", "c:\\windows\\WIN.INI"), 0)
            << writer.lastError().toStdString();
        hive.refresh();
        const Result<Written> set = hive.setValue(
            folded("System\\CurrentControlSet\\Services\\Class\\Net\\0001"), "IPMTU", REG_SZ, "576");
        EXPECT_TRUE(set && *set == Written::Done) << set.reason().toStdString();
        EXPECT_NE(writer.WritePrivateProfileStringA("Made", "by", "Velmora", "c:\\windows\\NEW.INI"), 0)
            << writer.lastError().toStdString();
        name = QFileInfo(session.folder()).fileName();
        manifest = readBytes(session.folder() + "/manifest.json");
    }
    QByteArray inImage(const QString& path) const { return fileInImage(image, path); }

    QTemporaryDir dir;
    QString backups = dir.path() + "/backups", image = buildImage(dir.path(), Format::Raw);
    QByteArray winIni = inImage("WIN98/WIN.INI"), systemDat = inImage("WIN98/SYSTEM.DAT");
    QString name;
    QByteArray manifest;
};

// A change to a disk image is backed up as on a folder, the manifest naming the image, the
// partition and each file on drive C; a restore writes back (or removes, what Velmora made)
// through the image's own save only what still holds what Velmora wrote, and the outside tools
// find a sound file system after it.
TEST(ImageBackups, KeepTheImagesFilesAndPutThemBackThroughItsSave)
{
    BackedUpImage m;
    const Result<QList<Backup>> all = listBackups(m.backups);
    ASSERT_TRUE(all && all->size() == 1 && all->front().damage.isEmpty());
    const Backup& backup = all->front();
    EXPECT_EQ(backup.machine, m.image);
    EXPECT_EQ(backup.partition, 1);
    QStringList seen;
    for (const BackedUpFile& file : backup.files) {
        const QByteArray now = m.inImage(QString(file.path).replace('\\', '/'));
        const QByteArray before = file.path.endsWith("WIN.INI") ? m.winIni : m.systemDat;
        seen << file.path + (file.writtenSha256 == sha256(now) ? " written" : " wrong hash") +
                    (file.copy.isEmpty()                                    ? " new"
                     : readBytes(backup.folder + '/' + file.copy) == before ? " kept"
                                                                            : " not kept");
    }
    EXPECT_EQ(seen, (QStringList{"WIN98\\WIN.INI written kept", "WIN98\\SYSTEM.DAT written kept",
                                 "WIN98\\NEW.INI written new"}));

    // Windows changed WIN.INI since: only SYSTEM.DAT goes back, unless forced.
    const QString changed = m.dir.path() + "/WIN.INI";
    ASSERT_TRUE(writeBytes(changed, "[Ports]\r\nCOM2:=2400,n,8,1\r\n"));
    expectRan(run("mcopy", {"-o", "-i", partitionOf(m.image), changed, "::WIN98/WIN.INI"}), "mcopy");
    const QString winIni = "C:\\WIN98\\WIN.INI in " + m.image,
                  systemDat = "C:\\WIN98\\SYSTEM.DAT in " + m.image,
                  newIni = "C:\\WIN98\\NEW.INI in " + m.image;
    Result<RestoreOutcome> outcome = restoreBackup(m.backups, {}, m.image, false);
    ASSERT_TRUE(outcome) << outcome.reason().toStdString();
    EXPECT_EQ(outcome->restored, (QStringList{systemDat, newIni}));
    EXPECT_NE(run("mdir", {"-i", partitionOf(m.image), "::WIN98/NEW.INI"}).code, 0) << "made, so removed";
    EXPECT_EQ(outcome->leftAlone, QStringList{winIni});
    EXPECT_EQ(m.inImage("WIN98/WIN.INI"), readBytes(changed));
    EXPECT_EQ(m.inImage("WIN98/SYSTEM.DAT"), m.systemDat);

    outcome = restoreBackup(m.backups, m.name, {m.image, 1}, true);
    ASSERT_TRUE(outcome) << outcome.reason().toStdString();
    EXPECT_EQ(outcome->restored, QStringList{winIni});
    EXPECT_EQ(outcome->unchanged, (QStringList{systemDat, newIni}));
    EXPECT_EQ(m.inImage("WIN98/WIN.INI"), m.winIni);
    expectCleanFileSystem(m.image, m.dir.path());
}

// An image's manifest is checked as a folder's is: a file named off the image's drive C, another
// image or another partition refuses the whole restore, naming the backup, and writes nothing.
TEST(ImageBackups, ATamperedManifestWritesNothing)
{
    BackedUpImage m;
    const QString other = m.dir.path() + "/other.img";
    ASSERT_TRUE(QFile::copy(m.image, other));
    const auto entry = [](const char* path) {
        return [path](QJsonObject& root) {
            QJsonArray files = root["files"].toArray();
            QJsonObject file = files[0].toObject();
            file["path"] = path;
            files[0] = file;
            root["files"] = files;
        };
    };
    const struct {
        const char* name;
        std::function<void(QJsonObject& root)> tamper;
        const char* refused;
    } cases[] = {
        {"climbing out with ..", entry("WIN98\\..\\..\\x"), "does not name a file inside the machine"},
        {"absolute", entry("\\WIN98\\WIN.INI"), "does not name a file inside the machine"},
        {"another drive", entry("D:\\WIN.INI"), "does not name a file inside the machine"},
        {"a name FAT cannot hold", entry("WIN98\\a*b.ini"), "does not name a file inside the machine"},
        {"a host path", entry("../../outside"), "does not name a file inside the machine"},
        {"another image", [&](QJsonObject& root) { root["machine"] = other; }, "is of the machine"},
        {"another partition", [](QJsonObject& root) { root["partition"] = 2; }, "is of partition 2"},
        {"no partition number", [](QJsonObject& root) { root["partition"] = "1"; }, "its partition is not"},
    };
    const QByteArray before = readBytes(m.image);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QJsonObject root = QJsonDocument::fromJson(m.manifest).object();
        c.tamper(root);
        ASSERT_TRUE(writeBytes(m.backups + '/' + m.name + "/manifest.json", QJsonDocument(root).toJson()));
        const Result<RestoreOutcome> outcome = restoreBackup(m.backups, m.name, m.image, true);
        EXPECT_TRUE(!outcome && outcome.reason().contains(c.refused) && outcome.reason().contains(m.name))
            << outcome.reason().toStdString();
        EXPECT_TRUE(readBytes(m.image) == before) << "the image was changed";
    }
}

} // namespace
} // namespace velmora
