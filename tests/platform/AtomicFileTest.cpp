#include "platform/AtomicFile.h"

#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace velmora {
namespace {

using testing::folderEntries;
using testing::readBytes;
using testing::writeBytes;

mode_t permissionBits(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

class AtomicFile : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.path() + '/' + name; }
    QTemporaryDir dir;
};

TEST_F(AtomicFile, WritesANewFile)
{
    QString reason;
    ASSERT_TRUE(writeFileAtomically(path("new.ini"), "[s]\r\nk=v\r\n", &reason)) << reason.toStdString();
    EXPECT_EQ(readBytes(path("new.ini")), QByteArray("[s]\r\nk=v\r\n"));
    EXPECT_EQ(permissionBits(path("new.ini")), mode_t(0644));
    ASSERT_TRUE(writeFileAtomically(path("empty.ini"), ""));
    EXPECT_EQ(readBytes(path("empty.ini")), QByteArray());
    EXPECT_EQ(folderEntries(dir.path()), (QStringList{"empty.ini", "new.ini"}));
}

TEST_F(AtomicFile, ReplacingKeepsThePermissionBits)
{
    for (const mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0755)}) {
        ASSERT_TRUE(writeBytes(path("f.ini"), "old"));
        ASSERT_EQ(::chmod(QFile::encodeName(path("f.ini")).constData(), mode), 0);
        ASSERT_TRUE(writeFileAtomically(path("f.ini"), "new"));
        EXPECT_EQ(readBytes(path("f.ini")), QByteArray("new"));
        EXPECT_EQ(permissionBits(path("f.ini")), mode) << std::oct << mode;
    }
}

TEST_F(AtomicFile, FailedWriteLeavesTheOldFileAndNoTemporary)
{
    const QByteArray old = "old contents\r\n";
    ASSERT_TRUE(writeBytes(path("f.ini"), old));
    const QByteArray bigger(4096, 'x');
    const int code = testing::exitCodeUnderFileSizeLimit(1024, [&] {
        QString reason;
        return !writeFileAtomically(path("f.ini"), bigger, &reason) && reason == "File too large" ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readBytes(path("f.ini")), old);
    EXPECT_EQ(folderEntries(dir.path()), QStringList{"f.ini"});
}

TEST_F(AtomicFile, RefusesAFolderInTheFilesPlaceOrAMissingFolder)
{
    ASSERT_TRUE(QDir().mkpath(path("f.ini/inner")));
    QString reason;
    EXPECT_FALSE(writeFileAtomically(path("f.ini"), "x", &reason));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_TRUE(QFileInfo(path("f.ini/inner")).isDir());
    EXPECT_FALSE(writeFileAtomically(path("nodir/f.ini"), "x", &reason));
    EXPECT_EQ(reason, QStringLiteral("No such file or directory"));
    EXPECT_EQ(folderEntries(dir.path()), QStringList{"f.ini"});
}

} // namespace
} // namespace velmora
