#include "files/AtomicFile.h"

#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <fcntl.h>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace testing;

class AtomicFile : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.path() + '/' + name; }
    QTemporaryDir dir;
};

// A new file gets mode 0644; what killed writes left beside a file goes with its next write, and
// nothing else does. Replacing keeps mode, owner and group, so a user whose file it is can still
// write it afterwards.
TEST_F(AtomicFile, WritesANewFileOrReplacesOneKeepingModeOwnerAndGroup)
{
    for (const char* name : {"f.ini.velmora-a1B2c3", "f.ini.velmora-zZ09aA", "f.ini.velmora-abc",
                             "g.ini.velmora-a1B2c3", "f.ini.velmora-a1B2c3.txt"})
        ASSERT_TRUE(writeBytes(path(name), QByteArray(1000, 'x')));
    ASSERT_TRUE(writeFileAtomically(path("f.ini"), "[s]\r\nk=v\r\n"));
    EXPECT_EQ(readBytes(path("f.ini")), QByteArray("[s]\r\nk=v\r\n"));
    const QByteArray name = QFile::encodeName(path("f.ini"));
    struct stat info {};
    ASSERT_EQ(::stat(name.constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode_t(0644));
    EXPECT_EQ(folderEntries(dir.path()), (QStringList{"f.ini", "f.ini.velmora-a1B2c3.txt",
                                                      "f.ini.velmora-abc", "g.ini.velmora-a1B2c3"}));
    const std::tuple<mode_t, uid_t, gid_t> cases[] = {{0600, ::geteuid(), ::getegid()}, {0755, 12345, 12345}};
    for (const auto& [mode, uid, gid] : cases) {
        if (uid != ::geteuid() && ::geteuid() != 0)
            continue; // only root hands a file to another user
        ASSERT_TRUE(::chmod(name.constData(), mode) == 0 && ::chown(name.constData(), uid, gid) == 0);
        ASSERT_TRUE(writeFileAtomically(path("f.ini"), QByteArray::number(mode)));
        ASSERT_EQ(::stat(name.constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_TRUE(info.st_uid == uid && info.st_gid == gid) << info.st_uid << ':' << info.st_gid;
    }
}

// A link is written through, so the file it points to is the one that changes; a link the
// caller does not allow, or one to nowhere, is refused and nothing changes.
TEST_F(AtomicFile, WritesThroughALinkOnlyWhereAllowed)
{
    ASSERT_TRUE(writeBytes(path("inside/real.ini"), "old") && writeBytes(path("outside/real.ini"), "old"));
    ASSERT_TRUE(QFile::link(path("inside/real.ini"), path("inside/in.ini")) &&
                QFile::link(path("outside/real.ini"), path("inside/out.ini")) &&
                QFile::link(path("inside/none.ini"), path("inside/broken.ini")) &&
                QFile::link(path("inside"), path("folder")));
    const FileEdit addPlus = [](const Found<QByteArray>& current) {
        return Result<FileChange>(FileChange::replaceWith(current.value + "+"));
    };
    // The reason a write through the link is refused; nullptr: written.
    const std::pair<const char*, const char*> cases[] = {{"inside/in.ini", nullptr},
                                                         {"inside/out.ini", "leads out"},
                                                         {"inside/broken.ini", "nowhere"},
                                                         {"folder/real.ini", nullptr}};
    for (const auto& [link, reason] : cases) {
        const Result<void> written = editFileAtomically(path(link), path("inside"), addPlus);
        EXPECT_TRUE(reason ? written.reason().contains(QLatin1String(reason)) : written.ok())
            << link << ": " << written.reason().toStdString();
    }
    EXPECT_EQ(readBytes(path("inside/real.ini")), QByteArray("old++"));
    EXPECT_EQ(readBytes(path("outside/real.ini")), QByteArray("old"));
    EXPECT_EQ(folderEntries(path("inside")), (QStringList{"broken.ini", "in.ini", "out.ini", "real.ini"}));
}

// A write that cannot be done says why and leaves every file as it was, with no temporary beside
// it. No write permission bit at all means read-only, for root too (who passes every access check).
TEST_F(AtomicFile, FailedWritesChangeNothing)
{
    ASSERT_TRUE(QDir().mkpath(path("dir.ini/inner")));
    ASSERT_TRUE(writeBytes(path("ro.ini"), "old") && writeBytes(path("f.ini"), "old contents\r\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(path("ro.ini")).constData(), 0444), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.ini")).constData(), 0644), 0); // as a device would be
    const std::pair<const char*, const char*> cases[] = {
        {"dir.ini", "a folder stands in the file's place"},
        {"fifo.ini", "it is not an ordinary file but a FIFO"},
        {"nodir/f.ini", "No such file or directory"},
        {"ro.ini", "ro.ini is read-only"}};
    for (const auto& [name, why] : cases) {
        const Result<void> written = writeFileAtomically(path(name), "new");
        EXPECT_TRUE(!written && written.reason().endsWith(QLatin1String(why)))
            << name << ": " << written.reason().toStdString();
    }
    const int code = testing::exitCodeUnderFileSizeLimit(1024, [&] {
        const Result<void> written = writeFileAtomically(path("f.ini"), QByteArray(4096, 'x'));
        return !written && written.reason() == "f.ini could not be written: File too large" ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readBytes(path("ro.ini")), QByteArray("old"));
    EXPECT_EQ(readBytes(path("f.ini")), QByteArray("old contents\r\n"));
    EXPECT_TRUE(QFileInfo(path("dir.ini/inner")).isDir());
    EXPECT_FALSE(QFileInfo(path("fifo.ini")).isFile());
    EXPECT_EQ(folderEntries(dir.path()), (QStringList{"dir.ini", "f.ini", "fifo.ini", "ro.ini"}));
}

// Another program's change since the file was looked at stops the replacement, whatever it
// kept: here the size and the modification time, which the status time betrays; within one tick
// of a coarse clock even that stays, and only a watch on the file begun before the look tells.
// A file of its own renamed over the old one keeps them too, but not the old one's inode.
TEST_F(AtomicFile, ReplacesOnlyTheFileItWasBasedOn)
{
    for (const char* how : {"a tick later", "within one tick", "renamed over it"}) {
        SCOPED_TRACE(how);
        const bool sameTick = how[0] == 'w', renamed = how[0] == 'r';
        const QString file = path("SYSTEM.DAT"), theirs = renamed ? file + ".theirs" : file;
        ASSERT_TRUE(writeBytes(file, "before"));
        FileWrites writes(file);
        const FileIdentity looked = FileIdentity::of(file);
        if (!sameTick)
            ::usleep(20000);
        ASSERT_TRUE(!renamed || writeBytes(theirs, "before"));
        const int fd = ::open(QFile::encodeName(theirs).constData(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, "theirs", 6, 0), 6);
        const timespec times[2] = {{0, UTIME_OMIT},
                                   {looked.modified / 1000000000, looked.modified % 1000000000}};
        ASSERT_EQ(::futimens(fd, times), 0);
        ::close(fd);
        ASSERT_TRUE(!renamed || ::rename(QFile::encodeName(theirs).constData(),
                                         QFile::encodeName(file).constData()) == 0);
        ASSERT_NE(FileIdentity::of(file).sameContents(looked), renamed);
        const Result<Replacement> written =
            replaceFileIfUnchanged(file, "ours!!", looked, sameTick ? &writes : nullptr);
        EXPECT_TRUE(written && written->outcome == Attempt::FileChanged);
        EXPECT_EQ(readBytes(file), QByteArray("theirs"));
        EXPECT_EQ(folderEntries(dir.path()), QStringList{"SYSTEM.DAT"});
    }
}

// A removal takes away the file as the edit saw it: one another program changed after the read
// is edited again, a read-only one stays, and a missing one is no failure.
TEST_F(AtomicFile, RemovesOnlyTheFileTheEditSaw)
{
    const QString file = path("f.ini");
    ASSERT_TRUE(writeBytes(file, "ours"));
    QByteArrayList seen;
    const FileEdit removeOurs = [&](const Found<QByteArray>& current) -> Result<FileChange> {
        seen << (current.isPresent() ? current.value : "missing");
        if (current.value == "ours") // another program changes it after the read
            (void)writeBytes(file, "ours, changed");
        return current.value.startsWith("ours") ? FileChange::remove() : FileChange::keep();
    };
    ASSERT_TRUE(editFileAtomically(file, dir.path(), removeOurs));
    ASSERT_TRUE(editFileAtomically(file, dir.path(), removeOurs));
    EXPECT_EQ(seen, (QByteArrayList{"ours", "ours, changed", "missing"}));
    EXPECT_EQ(folderEntries(dir.path()), QStringList());

    ASSERT_TRUE(writeBytes(file, "ours again") && QFile::setPermissions(file, QFile::ReadOwner));
    const Result<void> refused = editFileAtomically(file, dir.path(), removeOurs);
    EXPECT_TRUE(!refused && refused.reason().contains("f.ini is read-only"))
        << refused.reason().toStdString();
    EXPECT_EQ(seen.size(), 3) << "refused before the edit was asked";
    EXPECT_EQ(readBytes(file), "ours again");
}

} // namespace
} // namespace velmora
