#include "platform/ProfileWriter.h"
#include "platform/MachineFolder.h"

#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace velmora {
namespace {

using testing::exitCodeUnderFileSizeLimit;
using testing::readBytes;
using testing::writeBytes;

struct EditCase {
    const char* name;
    QByteArray before;
    QByteArray section;
    QByteArray key;
    QByteArray value;
    QByteArray after;
};

class ProfileEdit : public ::testing::TestWithParam<EditCase> {};

TEST_P(ProfileEdit, ChangesOnlyWhatItWasAskedTo)
{
    const EditCase& c = GetParam();
    QString reason;
    const std::optional<QByteArray> result = editProfileText(c.before, c.section, c.key, c.value, &reason);
    ASSERT_TRUE(result) << reason.toStdString();
    EXPECT_EQ(*result, c.after);
}

const QByteArray kDuplicates = "[A]\r\nk=1\r\nk=2\r\n[B]\r\nq=0\r\n[a]\r\nk=3\r\nm=4\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileEdit,
    ::testing::Values(
        EditCase{"EmptyFile", "", "App", "key", "string", "[App]\r\nkey=string\r\n"},
        EditCase{"NewSectionAfterOneBlankLine", "[A]\r\nx=1\r\n", "B", "y", "2",
                 "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
        EditCase{"NewSectionAfterExistingBlankLine", "[A]\r\nx=1\r\n\r\n", "B", "y", "2",
                 "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
        EditCase{"NewSectionAfterLastLineWithoutEnd", "[A]\r\nx=1", "B", "y", "2",
                 "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
        EditCase{"NewSectionInLfFile", "[A]\nx=1\n", "B", "y", "2", "[A]\nx=1\n\r\n[B]\r\ny=2\r\n"},
        EditCase{"NewSectionBeforeTrailingCtrlZ", "[A]\r\nx=1\r\n\x1A", "B", "y", "2",
                 "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n\x1A"},
        EditCase{"ReplaceKeepsFileSpelling", "[MySect]\r\nMyKey=old\r\n", "MYSECT", "MYKEY", "new",
                 "[MySect]\r\nMyKey=new\r\n"},
        EditCase{"ReplaceNormalisesOnlyThatLine", "; top\r\n[s]\r\n  k = old  \r\n\r\nj = 1\r\n", "s", "k",
                 "new", "; top\r\n[s]\r\nk=new\r\n\r\nj = 1\r\n"},
        EditCase{"ReplaceInLfFileKeepsOtherEndings", "[s]\nk=1\nj=2\n", "s", "k", "3", "[s]\nk=3\r\nj=2\n"},
        EditCase{"NewKeyInCrFile", "[A]\rk=v\r[B]\r", "A", "n", "1", "[A]\rk=v\rn=1\r\n[B]\r"},
        EditCase{"NewKeyBeforeBlankLineAndNextSection", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "A", "z", "3",
                 "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n"},
        EditCase{"NewKeyAboveTrailingComment", "[s]\r\nz=\r\n;y=\r\n", "s", "a", "",
                 "[s]\r\nz=\r\na=\r\n;y=\r\n"},
        EditCase{"NewKeyAfterHeaderWhenSectionHasNoKeys", "[s]\r\n;c\r\n\r\n[t]\r\n", "s", "k", "v",
                 "[s]\r\nk=v\r\n;c\r\n\r\n[t]\r\n"},
        EditCase{"LineWithoutEqualsIsNotAKeyLine", "[s]\r\na=1\r\nnoequals\r\n", "s", "b", "2",
                 "[s]\r\na=1\r\nb=2\r\nnoequals\r\n"},
        EditCase{"CommentNeverMatchesTheKey", "[s]\r\n;k=1\r\n", "s", "k", "2", "[s]\r\nk=2\r\n;k=1\r\n"},
        EditCase{"FirstDuplicateKeyIsReplaced", kDuplicates, "A", "k", "X",
                 "[A]\r\nk=X\r\nk=2\r\n[B]\r\nq=0\r\n[a]\r\nk=3\r\nm=4\r\n"},
        EditCase{"NewKeyGoesToFirstDuplicateSection", kDuplicates, "A", "m", "Y",
                 "[A]\r\nk=1\r\nk=2\r\nm=Y\r\n[B]\r\nq=0\r\n[a]\r\nk=3\r\nm=4\r\n"},
        EditCase{"HeaderWithBlanksAndTrailingText", "  [ Ports ]  ;note\r\nCOM1:=x\r\n", "ports",
                 "com1:", "y", "  [ Ports ]  ;note\r\nCOM1:=y\r\n"},
        EditCase{"HeaderWithoutClosingBracket", "[Ports\r\nCOM1:=x\r\n", "Ports", "COM1:", "y",
                 "[Ports\r\nCOM1:=y\r\n"},
        EditCase{"BracketInsideALineIsNoHeader", "[s]\r\nk=[t]\r\n", "t", "a", "1",
                 "[s]\r\nk=[t]\r\n\r\n[t]\r\na=1\r\n"},
        EditCase{"KeyAboveFirstSectionIsUnreachable", "k=1\r\n[s]\r\n", "s", "k", "2",
                 "k=1\r\n[s]\r\nk=2\r\n"},
        EditCase{"ArgumentBlanksAreStrippedValueKept", "", "  sec  ", "\tkey  ", " value ",
                 "[sec]\r\nkey= value \r\n"},

        // The same value again leaves the file byte for byte as it was.
        EditCase{"SameValueInLfFile", "[s]\nk=v\nj=w\n", "s", "k", "v", "[s]\nk=v\nj=w\n"},
        EditCase{"SameValueWithBlanks", "[s]\r\nk= v \r\n", "s", "k", " v ", "[s]\r\nk= v \r\n"}),
    [](const ::testing::TestParamInfo<EditCase>& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    QByteArray section;
    QByteArray key;
    QByteArray value;
    const char* reason;
};

class ProfileRefusal : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(ProfileRefusal, GivesNothingAndSaysWhy)
{
    const RefusedCase& c = GetParam();
    QString reason;
    EXPECT_FALSE(editProfileText("[s]\r\nk=v\r\n", c.section, c.key, c.value, &reason));
    EXPECT_TRUE(reason.contains(QLatin1String(c.reason))) << reason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileRefusal,
                         ::testing::Values(RefusedCase{"CrInValue", "s", "k", "a\rb", "value"},
                                           RefusedCase{"LfInKey", "s", "k\n", "v", "key name"},
                                           RefusedCase{"EqualsInKey", "s", "a=b", "v", "\"=\""},
                                           RefusedCase{"BracketInSection", "s]x", "k", "v", "\"]\""},
                                           RefusedCase{"EmptySection", "", "k", "v", "section name is empty"},
                                           RefusedCase{"BlankKey", "s", "  ", "v", "key name is empty"},
                                           RefusedCase{"KeyLikeAComment", "s", ";k", "v", "comment"},
                                           RefusedCase{"KeyLikeAHeader", "s", "[k", "v", "section header"}),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) {
                             return std::string(info.param.name);
                         });

// The Windows call over a real machine folder.
class ProfileWriterOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(machine.driveC() + "/WINDOWS"));
    }
    QString host(const QString& relative) const { return machine.driveC() + '/' + relative; }

    QTemporaryDir dir;
    MachineFolder machine{dir.path()};
    ProfileWriter writer{machine};
};

TEST_F(ProfileWriterOnDisk, CreatesOrEditsTheFileWhateverTheCaseOfItsPath)
{
    EXPECT_NE(writer.WritePrivateProfileStringA("Ports", "COM1:", "9600,n,8,1,x", "c:\\windows\\win.ini"), 0);
    EXPECT_EQ(readBytes(host("WINDOWS/win.ini")), QByteArray("[Ports]\r\nCOM1:=9600,n,8,1,x\r\n"));
    EXPECT_TRUE(writer.lastError().isEmpty());
    EXPECT_NE(writer.WritePrivateProfileStringA("ports", "COM1:", "2400,e,7,1,p", "C:\\Windows\\Win.INI"), 0);
    EXPECT_EQ(readBytes(host("WINDOWS/win.ini")), QByteArray("[Ports]\r\nCOM1:=2400,e,7,1,p\r\n"));
    EXPECT_EQ(testing::folderEntries(host("WINDOWS")), QStringList{"win.ini"});
}

TEST_F(ProfileWriterOnDisk, SameValueDoesNotTouchTheFile)
{
    const QString path = host("WINDOWS/WIN.INI");
    ASSERT_TRUE(writeBytes(path, "[Ports]\nCOM1:=9600,n,8,1,x"));
    const ino_t inode = testing::inodeOf(path);
    EXPECT_NE(writer.WritePrivateProfileStringA("ports", "com1:", "9600,n,8,1,x", "c:\\windows\\win.ini"), 0);
    EXPECT_EQ(testing::inodeOf(path), inode) << "the file was rewritten";
    EXPECT_EQ(readBytes(path), QByteArray("[Ports]\nCOM1:=9600,n,8,1,x"));
}

struct FailureCase {
    const char* name;
    QByteArray fileName;
    QByteArray key;
    const char* reason;
};

class ProfileWriterFailure : public ProfileWriterOnDisk, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ProfileWriterFailure, ReturnsZeroWithTheReasonAndWritesNothing)
{
    const FailureCase& c = GetParam();
    ASSERT_TRUE(QDir().mkpath(host("WINDOWS/FOLDER.INI")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(host("WINDOWS/PIPE.INI")).constData(), 0644), 0);
    ASSERT_TRUE(writeBytes(host("WINDOWS/WIN.INI"), "[Ports]\r\n"));
    EXPECT_EQ(writer.WritePrivateProfileStringA("Ports", c.key, "9600,n,8,1,x", c.fileName), 0);
    EXPECT_TRUE(writer.lastError().contains(QLatin1String(c.reason))) << writer.lastError().toStdString();
    EXPECT_EQ(readBytes(host("WINDOWS/WIN.INI")), QByteArray("[Ports]\r\n"));
    EXPECT_EQ(testing::folderEntries(machine.driveC()), QStringList{"WINDOWS"});
    EXPECT_EQ(testing::folderEntries(host("WINDOWS")), (QStringList{"FOLDER.INI", "PIPE.INI", "WIN.INI"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWriterFailure,
    ::testing::Values(FailureCase{"MissingFolder", "c:\\t\\nodir\\x.ini",
                                  "COM1:", "the folder c:\\t\\nodir does not exist"},
                      FailureCase{"FolderInPlaceOfTheFile", "c:\\windows\\folder.ini",
                                  "COM1:", "folder stands"},
                      FailureCase{"Pipe", "c:\\windows\\pipe.ini", "COM1:", "not an ordinary file"},
                      FailureCase{"RefusedKey", "c:\\windows\\win.ini", "COM=1", "\"=\""}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
