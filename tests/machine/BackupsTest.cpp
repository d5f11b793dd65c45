#include "machine/Backups.h"
#include "files/Drive.h"
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

// A file's mode bits (0 when it cannot be read).
uint mode(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

const QByteArray kNetKey = "System\\CurrentControlSet\\Services\\Class\\Net\\0001";
const QByteArray kSystemReg = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + kNetKey + "]\r\n\r\n";

// Sets members of a backup's manifest and of the first file of its list.
void editManifest(const QString& manifest, const QJsonObject& rootMembers,
                  const QJsonObject& fileMembers = {})
{
    QJsonObject root = QJsonDocument::fromJson(readBytes(manifest)).object();
    QJsonArray files = root["files"].toArray();
    QJsonObject file = files[0].toObject();
    for (auto member = fileMembers.begin(); member != fileMembers.end(); ++member)
        file[member.key()] = member.value();
    files[0] = file;
    root["files"] = files;
    for (auto member = rootMembers.begin(); member != rootMembers.end(); ++member)
        root[member.key()] = member.value();
    ASSERT_TRUE(writeBytes(manifest, QJsonDocument(root).toJson()));
}

// A machine folder or a raw disk image and its backups, the machine closed again between runs.
class BackedUpRun : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        root = GetParam() ? buildImage(dir.path(), Format::Raw) : dir.path() + "/machine";
        ASSERT_TRUE(GetParam() || (writeBytes(root + "/drive_c/WINDOWS/WIN.INI", "[Ports]\r\n") &&
                                   writeBytes(root + "/system.reg", kSystemReg)));
        before = contents();
    }
    // One run through the writers the windows use: WIN.INI changed twice, the registry once, NEW.INI
    // made. What each write refused said.
    QStringList run()
    {
        const MachineFolder machine(root);
        BackupSession session(backups, root);
        ProfileWriter writer(machine, backupsOf(machine, session));
        const std::unique_ptr<RegistryBackend> registry =
            GetParam() ? std::unique_ptr<RegistryBackend>(
                             std::make_unique<HiveStore>(machine.registryFile(), machine.drive()))
                       : std::make_unique<RegistryStore>(machine.registryFile());
        registry->setBackups(backupsOf(machine, session));
        QStringList refused;
        for (const char* speed : {"19200", "38400"})
            if (!writer.WritePrivateProfileStringA("Ports", "COM2:", speed, "c:\\windows\\WIN.INI"))
                refused << writer.lastError();
        registry->refresh();
        if (const Result<Written> set = registry->setValue(folded(kNetKey), "IPMTU", REG_SZ, "576"); !set)
            refused << set.reason();
        if (!writer.WritePrivateProfileStringA("Made", "by", "Velmora", "c:\\windows\\NEW.INI"))
            refused << writer.lastError();
        name = QFileInfo(session.folder()).fileName();
        shown.clear();
        for (const QString& path : paths(machine))
            shown << (GetParam() ? "C:\\" + path + " in " + root : path);
        return refused;
    }
    // WIN.INI, the registry and NEW.INI as the machine's drive names them.
    static QStringList paths(const MachineFolder& machine)
    {
        return {*machine.hostPath(u"c:\\windows\\WIN.INI"), machine.registryFile(),
                *machine.hostPath(u"c:\\windows\\NEW.INI")};
    }
    // What each file holds ("-": there is none); WIN.INI first changed by another program to
    // `winIni` when given (removed for "-").
    QByteArrayList contents(const QByteArray& winIni = {}) const
    {
        const MachineFolder machine(root);
        HostDrive host(root);
        Drive& drive = GetParam() ? machine.drive() : host;
        QByteArrayList contents;
        for (const QString& path : paths(machine)) {
            EXPECT_TRUE(!contents.isEmpty() || winIni.isEmpty() ||
                        drive.edit(
                            path,
                            [&](const Found<QByteArray>&) {
                                return winIni == "-" ? FileChange::remove() : FileChange::replaceWith(winIni);
                            },
                            ReadOnlyFile::Refused));
            const Result<Found<QByteArray>> read = drive.readIfPresent(path, 16 << 20);
            contents << (read && read->isPresent() ? read->value : "-");
        }
        return contents;
    }

    QTemporaryDir dir;
    QString backups = dir.path() + "/backups", root, name;
    QStringList shown;     // the files as a restore names them
    QByteArrayList before; // what they held before the run
};

// A backup that cannot be made stops its change. Else each file is kept, only its owner may read
// it, as it was before the run's first change to it (a file the run made as none), with a digest of
// what was written last. A restore puts back (or removes, what Velmora made) through the machine's
// own writes only what still holds what Velmora wrote, unless forced, and names what is gone; on an
// image the outside tools find a sound file system after it. A backup named must exist and be of
// the machine; the newest is not chosen while a newer one is damaged. An image's manifest is
// checked as a folder's is (a file named off its drive C or another partition refuses the whole
// restore, naming the backup, writing nothing).
TEST_P(BackedUpRun, KeepEachFileAsItWasAndPutBackWhatStillHoldsVelmorasWrite)
{
    ASSERT_TRUE(writeBytes(backups, "a file where the folder should be"));
    EXPECT_EQ(run().filter("the backup folder " + backups + " cannot be made").size(), 4);
    EXPECT_EQ(contents(), before);
    ASSERT_TRUE(QFile::remove(backups));
    const mode_t umaskBefore = ::umask(022);
    ASSERT_EQ(run(), QStringList());
    ::umask(umaskBefore);
    const QByteArrayList written = contents();
    const Result<QList<Backup>> all = listBackups(backups);
    ASSERT_TRUE(all && all->size() == 1) << "one backup per run";
    const Backup& backup = all->front();
    QStringList seen;
    for (const BackedUpFile& file : backup.files) {
        const qsizetype i = shown.indexOf(backup.shownPath(file));
        const QByteArray copy = file.copy.isEmpty() ? "-" : readBytes(backup.folder + '/' + file.copy);
        seen << backup.shownPath(file) +
                    (i >= 0 && copy == before[i] && file.writtenSha256 == sha256(written[i]) ? "" : " wrong");
    }
    EXPECT_EQ(seen, shown);
    EXPECT_EQ((QList<uint>{mode(backups), mode(backup.folder), mode(backup.folder + "/manifest.json"),
                           mode(backup.folder + "/1-WIN.INI")}),
              (QList<uint>{0700, 0700, 0600, 0600}));

    const QByteArray changedByWindows = "[Ports]\r\nCOM2:=2400,n,8,1\r\n";
    contents(changedByWindows);
    Result<RestoreOutcome> outcome = restoreBackup(backups, {}, root, false);
    ASSERT_TRUE(outcome) << outcome.reason().toStdString();
    EXPECT_EQ(outcome->restored, shown.mid(1));
    EXPECT_EQ(outcome->leftAlone, shown.first(1));
    EXPECT_EQ(contents(), (QByteArrayList{changedByWindows, before[1], "-"}));

    contents("-");
    outcome = restoreBackup(backups, name, root, false);
    EXPECT_TRUE(outcome && outcome->missing == shown.first(1) && contents()[0] == "-");
    outcome = restoreBackup(backups, name, GetParam() ? MachineName(root, 1) : MachineName(root), true);
    ASSERT_TRUE(outcome) << outcome.reason().toStdString();
    EXPECT_EQ(outcome->restored, shown.first(1));
    EXPECT_EQ(outcome->unchanged, shown.mid(1));
    EXPECT_EQ(contents(), before);
    if (GetParam())
        expectCleanFileSystem(root, dir.path());

    EXPECT_EQ(restoreBackup(backups, "1999-01-01", root, false).reason(),
              "there is no backup 1999-01-01 in " + backups);
    EXPECT_TRUE(
        restoreBackup(backups, name, dir.path(), false).reason().contains("is of the machine " + root));
    EXPECT_TRUE(restoreBackup(backups, {}, dir.path(), false).reason().startsWith("there is no backup of"));
    ASSERT_TRUE(writeBytes(backups + "/2999-01-01_00-00-00.000/manifest.json", "damaged"));
    const QString newest = restoreBackup(backups, {}, root, false).reason();
    EXPECT_TRUE(newest.startsWith("the backup 2999-01-01_00-00-00.000 in " + backups +
                                  " cannot be used: its manifest.json is damaged: it is not JSON"))
        << newest.toStdString();
    if (!GetParam())
        return;

    const QString manifest = backup.folder + "/manifest.json";
    const char* outside = "does not name a file inside the machine";
    // Members set in the manifest and in its first file, and a part of the refusal.
    const std::tuple<const char*, QJsonObject, QJsonObject, const char*> cases[] = {
        {"climbing out with ..", {}, {{"path", "WIN98\\..\\..\\x"}}, outside},
        {"a host path (a character FAT names cannot hold)", {}, {{"path", "../../outside"}}, outside},
        {"another partition", {{"partition", 2}}, {}, "is of partition 2"},
        {"no partition number", {{"partition", "1"}}, {}, "its partition is not"},
    };
    const QByteArray original = readBytes(manifest), image = readBytes(root);
    for (const auto& [row, rootMembers, fileMembers, refused] : cases) {
        SCOPED_TRACE(row);
        ASSERT_TRUE(writeBytes(manifest, original));
        editManifest(manifest, rootMembers, fileMembers);
        outcome = restoreBackup(backups, name, root, true);
        EXPECT_TRUE(!outcome && outcome.reason().contains(refused) && outcome.reason().contains(name))
            << outcome.reason().toStdString();
        EXPECT_TRUE(readBytes(root) == image) << "the image was changed";
    }
}

INSTANTIATE_TEST_SUITE_P(FolderAndImage, BackedUpRun, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Image" : "Folder"; });

// A manifest that cannot be saved takes back the copy just made and its entry (the change it was
// for is refused), so the next try starts afresh. Other runs took every name up to a quarter of a
// second ahead of the clock: this run's backup is not mixed into theirs, it gets the first free
// name.
TEST(BackupSession, AManifestThatCannotBeSavedLeavesNoHalfEntry)
{
    QTemporaryDir dir;
    const QString backups = dir.path() + "/backups", drive = dir.path() + "/machine/drive_c/";
    ASSERT_TRUE(writeBytes(drive + "A.INI", "a") && writeBytes(drive + "B.INI", "b"));
    const QDateTime now = QDateTime::currentDateTime();
    for (qint64 ms = 0; now.toMSecsSinceEpoch() + ms < QDateTime::currentMSecsSinceEpoch() + 250; ++ms)
        ASSERT_TRUE(QDir().mkpath(backups + '/' + now.addMSecs(ms).toString("yyyy-MM-dd_HH-mm-ss.zzz")));
    BackupSession session(backups, dir.path() + "/machine");
    EXPECT_FALSE(session.beforeChange(dir.path() + "/elsewhere.ini")) << "a file outside the machine";
    ASSERT_TRUE(session.beforeChange(drive + "A.INI"));
    EXPECT_TRUE(session.folder().endsWith("-01")) << session.folder().toStdString();
    const QString manifest = session.folder() + "/manifest.json";
    ASSERT_TRUE(QFile::setPermissions(manifest, QFile::ReadOwner));
    const Result<void> refused = session.beforeChange(drive + "B.INI");
    EXPECT_TRUE(!refused && refused.reason().contains("manifest")) << refused.reason().toStdString();
    EXPECT_EQ(folderEntries(session.folder()), (QStringList{"1-A.INI", "manifest.json"}));
    ASSERT_TRUE(QFile::setPermissions(manifest, QFile::ReadOwner | QFile::WriteOwner));
    EXPECT_TRUE(session.beforeChange(drive + "B.INI"));
    EXPECT_EQ(folderEntries(session.folder()), (QStringList{"1-A.INI", "2-B.INI", "manifest.json"}));
}

void link(const QString& target, const QString& path)
{
    QFile::remove(path);
    EXPECT_TRUE(QFile::link(target, path)) << path.toStdString();
}

// One run's backup of WIN.INI ("old", then written "new"), and beside the machine a canary file
// and a secret file that no restore may change, remove or read into the machine; drive_c/OUT is
// a link to the folder they are in.
struct BackedUpMachine {
    BackedUpMachine()
    {
        EXPECT_TRUE(writeBytes(winIni, "old") && writeBytes(canary, "canary") &&
                    writeBytes(secret, "SECRET"));
        EXPECT_TRUE(session.beforeChange(winIni) && writeBytes(winIni, "new") &&
                    session.afterChange(winIni, "new"));
        link(outside, root + "/drive_c/OUT");
    }
    QString manifest() const { return session.folder() + "/manifest.json"; }
    // Names the file a copy of WIN.INI as it was would be written over (and the backup's machine).
    void pointAt(const QString& path, const QString& copy = "1-WIN.INI", const QString& machine = {}) const
    {
        editManifest(manifest(), machine.isEmpty() ? QJsonObject() : QJsonObject{{"machine", machine}},
                     {{"path", path},
                      {"copy", copy},
                      {"sha256", copy.isEmpty() ? QString() : QString(sha256("old"))},
                      {"written_sha256", QString(sha256(readBytes(canary)))}});
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
    BackupSession session{backups, root};
};

// A manifest and a backup folder are data from disk like any other: whatever they say, a restore
// (here by name and forced) reads only the backup's own copies and writes or removes only the
// machine's own files.
TEST(BackupTampering, NeverLeadsARestoreOutOfTheMachine)
{
    const char* outsidePath = "does not name a file inside the machine";
    const char* linkedFolder = "its folder is a link that leads out of the machine";
    const QJsonValue secretSum = QString(sha256("SECRET"));
    const QJsonObject secretCopy{{"copy", "../../outside/secret.txt"}, {"sha256", secretSum}},
        oversized{{"pad", QString(2 << 20, 'x')}}, wrongShape{{"machine", 1}};
    const struct {
        const char* name;
        std::function<void(BackedUpMachine&)> tamper;
        const char* refused;          // a part of the reason the whole restore is refused; else
        const char* failed = nullptr; // a part of the reason the file is not restored; else restored
        bool withMachine = true;      // else the restore names no machine
    } cases[] = {
        {"an absolute path outside", [](auto& m) { m.pointAt(m.canary); }, outsidePath},
        {"a path climbing out with ..",
         [](auto& m) { m.pointAt(m.root + "/drive_c/WINDOWS/../../../outside/canary.txt"); }, outsidePath},
        {"an empty copy naming an outside file", [](auto& m) { m.pointAt(m.canary, ""); }, outsidePath},
        {"a copy outside the backup folder", [&](auto& m) { editManifest(m.manifest(), {}, secretCopy); },
         "is not a file of the backup's folder"},
        {"a copy that is a link",
         [&](auto& m) {
             link(m.secret, m.session.folder() + "/1-WIN.INI");
             editManifest(m.manifest(), {}, {{"sha256", secretSum}});
         },
         nullptr, "cannot be read: it is a link"},
        {"WIN.INI a link leading out", [](auto& m) { link(m.canary, m.winIni); }, nullptr,
         "leads out of the machine"},
        {"a folder that is a link leading out", [](auto& m) { m.pointAt("drive_c/OUT/canary.txt"); }, nullptr,
         linkedFolder},
        {"a removal through a folder that is a link",
         [](auto& m) { m.pointAt("drive_c/OUT/canary.txt", ""); }, nullptr, linkedFolder},
        {"a manifest naming another machine",
         [](auto& m) { m.pointAt("canary.txt", "1-WIN.INI", m.outside); }, nullptr,
         "none of the machine's files", false},
        {"an oversized manifest", [&](auto& m) { editManifest(m.manifest(), oversized); },
         "too large (Velmora reads files of up to 1048576 bytes)"},
        {"a manifest of the wrong shape", [&](auto& m) { editManifest(m.manifest(), wrongShape); },
         "is not an object with a machine and a list of files"},
        {"a manifest that is a link",
         [](auto& m) {
             QFile::rename(m.manifest(), m.outside + "/manifest.json");
             link(m.outside + "/manifest.json", m.manifest());
         },
         "manifest.json cannot be read: it is a link"},
        {"an earlier version's absolute path inside the machine", [](auto& m) { m.pointAt(m.winIni); },
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BackedUpMachine m;
        c.tamper(m);
        const QStringList before = m.machineFiles();
        const QString name = QFileInfo(m.session.folder()).fileName();
        const Result<RestoreOutcome> outcome =
            restoreBackup(m.backups, name, c.withMachine ? m.root : "", true);
        // Refused whole, naming the backup, or the file not restored: the machine as it was. Else
        // WIN.INI is restored.
        const QString said =
            outcome ? outcome->failed.join('\n') + outcome->restored.join('\n') : outcome.reason();
        EXPECT_TRUE(outcome.ok() != bool(c.refused) && (outcome || said.contains(name)) &&
                    said.contains(c.refused  ? c.refused
                                  : c.failed ? c.failed
                                             : m.winIni))
            << said.toStdString();
        EXPECT_EQ(m.machineFiles(),
                  c.refused || c.failed ? before : QStringList{"drive_c/WINDOWS/WIN.INI=old"});
        EXPECT_EQ(readBytes(m.canary), "canary");
        EXPECT_EQ(folderEntries(m.outside).filter(".txt"), (QStringList{"canary.txt", "secret.txt"}));
    }
}

// Each machine keeps its newest backups; another machine's, and one that cannot be read, stay.
// What interrupted writes left in a backup folder goes, and a folder open to others is closed.
TEST(BackupPruning, KeepsTheNewestOfTheMachineAndSweepsTemporaries)
{
    QTemporaryDir dir;
    const QString backups = dir.path() + "/backups", root = dir.path() + "/machine";
    const QString winIni = root + "/drive_c/WINDOWS/WIN.INI";
    const auto folder = [&](int number) {
        return backups + QString("/2000-01-01_00-00-00.%1").arg(number, 3, 10, QChar('0'));
    };
    // 001 to 022 of the machine, 000 of another and 100 damaged.
    for (int number = 0; number <= kBackupsKept + 2; ++number)
        ASSERT_TRUE(writeBytes(
            folder(number) + "/manifest.json",
            QJsonDocument(QJsonObject{{"machine", number ? root : dir.path()}, {"files", QJsonArray()}})
                .toJson()));
    const QString temporary = folder(20) + "/manifest.json.velmora-Ab12Cd";
    ASSERT_TRUE(writeBytes(folder(100) + "/manifest.json", "{") && writeBytes(temporary, "half") &&
                writeBytes(winIni, "old") && ::chmod(QFile::encodeName(folder(21)).constData(), 0755) == 0);

    BackupSession session(backups, root);
    ASSERT_TRUE(session.beforeChange(winIni));
    ASSERT_EQ(listBackups(backups)->size(), kBackupsKept + 5) << "a change not made yet pushes none out";
    ASSERT_TRUE(session.afterChange(winIni, "new"));
    QStringList names;
    const Result<QList<Backup>> kept = listBackups(backups);
    for (const Backup& backup : *kept)
        names << backup.name.right(3) + (backup.machine == root ? "" : " other");
    // The oldest three of the machine's went.
    EXPECT_EQ(names.join(' '),
              "000 other 004 005 006 007 008 009 010 011 012 013 014 015 016 017 018 019 020 "
              "021 022 100 other " +
                  session.folder().right(3));
    EXPECT_FALSE(QFileInfo::exists(temporary));
    EXPECT_EQ(mode(folder(21)), 0700u) << "closed to others";
}

} // namespace
} // namespace velmora
