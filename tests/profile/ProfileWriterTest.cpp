#include "profile/ProfileWriter.h"
#include "machine/MachineFolder.h"

#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace testing;

const QByteArray kDuplicates = "[A]\r\nk=1\r\nk=2\r\n[B]\r\n[a]\r\nm=4\r\n";

// Name, file before, section, key and value, and file after.
const std::tuple<const char*, QByteArray, QByteArray, QByteArray, QByteArray, QByteArray> kEdits[] = {
    {"NewSectionAfterOneBlankLine", "[A]\r\nx=1\r\n", "B", "y", "2", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
    {"NewSectionAfterBlankLine", "[A]\r\nx=1\r\n\r\n", "B", "y", "2", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
    {"NewSectionAfterUnendedLine", "[A]\r\nx=1", "B", "y", "2", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
    {"NewKeyAfterUnendedLine", "[A]\r\nx=1", "A", "z", "3", "[A]\r\nx=1\r\nz=3\r\n"},
    {"NewSectionInLfFile", "[A]\nx=1\n", "B", "y", "2", "[A]\nx=1\n\r\n[B]\r\ny=2\r\n"},
    {"NewSectionBeforeCtrlZ", "[A]\r\nx=1\r\n\x1A", "B", "y", "2", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n\x1A"},
    {"ReplaceKeepsFileSpelling", "[Ports]\r\nMyKey=1\r\n", "ports", "MYKEY", "2", "[Ports]\r\nMyKey=2\r\n"},
    // Most headers are passed over by their first letter, which must match in either case.
    {"AskedUpperStoredLower", "[ports]\r\nk=1\r\n", "PORTS", "k", "2", "[ports]\r\nk=2\r\n"},
    {"NameStartsWithADigit", "[386Enh]\r\nk=1\r\n", "386enh", "k", "2", "[386Enh]\r\nk=2\r\n"},
    {"NormalisesThatLine", "[s]\r\n k = 1 \r\n\r\nj = 1\r\n", "s", "k", "2", "[s]\r\nk=2\r\n\r\nj = 1\r\n"},
    {"ReplaceInLfFile", "[s]\nk=1\nj=2\n", "s", "k", "3", "[s]\nk=3\r\nj=2\n"},
    {"NewKeyInCrFile", "[A]\rk=v\r[B]\r", "A", "n", "1", "[A]\rk=v\rn=1\r\n[B]\r"},
    {"NewKeyAboveBlankLine", "[A]\r\nx=1\r\n\r\n[B]\r\n", "A", "z", "3", "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\n"},
    {"NewKeyAboveTrailingComment", "[Z]\r\nz=\r\n;y=\r\n", "z", "a", "", "[Z]\r\nz=\r\na=\r\n;y=\r\n"},
    {"NewKeyUnderBareHeader", "[s]\r\n;c\r\n\r\n[t]\r\n", "s", "k", "v", "[s]\r\nk=v\r\n;c\r\n\r\n[t]\r\n"},
    {"LineWithoutEquals", "[s]\r\na=1\r\nx\r\n", "s", "b", "2", "[s]\r\na=1\r\nb=2\r\nx\r\n"},
    {"CommentNeverMatchesTheKey", "[s]\r\n;k=1\r\n", "s", "k", "2", "[s]\r\nk=2\r\n;k=1\r\n"},
    {"FirstDupKey", kDuplicates, "A", "k", "X", "[A]\r\nk=X\r\nk=2\r\n[B]\r\n[a]\r\nm=4\r\n"},
    {"FirstDupSection", kDuplicates, "A", "m", "Y", "[A]\r\nk=1\r\nk=2\r\nm=Y\r\n[B]\r\n[a]\r\nm=4\r\n"},
    {"PaddedHeader", "  [ Ports ] ;n\r\nk=x\r\n", "ports", "K", "y", "  [ Ports ] ;n\r\nk=y\r\n"},
    {"HeaderWithoutClosingBracket", "[Ports\r\nCOM1:=x\r\n", "Ports", "COM1:", "y", "[Ports\r\nCOM1:=y\r\n"},
    {"BracketInsideALineIsNoHeader", "[s]\r\nk=[t]\r\n", "t", "a", "1", "[s]\r\nk=[t]\r\n\r\n[t]\r\na=1\r\n"},
    {"KeyAboveAllSections", "k=1\r\n[s]\r\n", "s", "k", "2", "k=1\r\n[s]\r\nk=2\r\n"},
    {"ArgumentBlanksStrippedValueKept", "", "  sec  ", "\tkey  ", " value ", "[sec]\r\nkey= value \r\n"},

    // The same value again leaves the file byte for byte as it was.
    {"SameValueInLfFile", "[s]\nk=v\nj=w\n", "s", "k", "v", "[s]\nk=v\nj=w\n"},
};

TEST(ProfileEdit, ChangesOnlyWhatItWasAskedTo)
{
    for (const auto& [name, before, section, key, value, after] : kEdits) {
        const Result<QByteArray> edited = editProfileText(before, section, key, value);
        EXPECT_EQ(edited ? *edited : edited.reason().toUtf8(), after) << name;
        // Read where it was written, blanks around the value dropped as Windows reads it.
        EXPECT_EQ(profileValue(after, section, key), value.trimmed()) << name;
    }
    EXPECT_EQ(profileValue(kDuplicates, "B", "k"), std::nullopt) << "a key of another section";
}

// The Windows call over a real machine folder whose Windows folder holds WIN.INI, a folder and a
// pipe named like INI files.
class ProfileWriterOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(windows("FOLDER.INI")) && writeBytes(windows("WIN.INI"), "[s]\r\nk=v\r\n"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(windows("PIPE.INI")).constData(), 0644), 0);
    }
    QString windows(const QString& name) const { return machine.driveC() + "/WINDOWS/" + name; }

    QTemporaryDir dir;
    MachineFolder machine{dir.path()};
    ProfileWriter writer{machine};
};

// A missing file is made; whatever the case of the path, it is one file; the same value again
// does not even rewrite it.
TEST_F(ProfileWriterOnDisk, CreatesOrEditsTheFileWhateverTheCaseOfItsPath)
{
    EXPECT_NE(writer.WritePrivateProfileStringA("Ports", "COM1:", "9600", "c:\\windows\\new.ini"), 0);
    EXPECT_EQ(readBytes(windows("new.ini")), QByteArray("[Ports]\r\nCOM1:=9600\r\n"));
    EXPECT_NE(writer.WritePrivateProfileStringA("S", "K", "w", "C:\\Windows\\Win.INI"), 0);
    EXPECT_EQ(readBytes(windows("WIN.INI")), QByteArray("[s]\r\nk=w\r\n"));
    const ino_t inode = inodeOf(windows("WIN.INI"));
    EXPECT_NE(writer.WritePrivateProfileStringA("s", "k", "w", "c:\\WINDOWS\\win.ini"), 0);
    EXPECT_EQ(inodeOf(windows("WIN.INI")), inode) << "the file was rewritten";
    EXPECT_EQ(folderEntries(windows("")), (QStringList{"FOLDER.INI", "PIPE.INI", "WIN.INI", "new.ini"}));
}

const QByteArray kWin = "c:\\windows\\win.ini";

// File, section, key and value, and the reason they are refused.
const std::tuple<QByteArray, QByteArray, QByteArray, QByteArray, const char*> kFailures[] = {
    {"c:\\t\\nodir\\x.ini", "s", "k", "v", "the folder c:\\t\\nodir does not exist"},
    {"c:\\windows\\pipe.ini", "s", "k", "v", "not an ordinary file"},
    {kWin, "s", "k", "a\rb", "value"},
    {kWin, "s", "k\n", "v", "key name"},
    {kWin, QByteArray("s\0", 2), "k", "v", "section name"},
    {kWin, "s", "k", "v\x1A", "value"},
    {kWin, "s", "a=b", "v", "\"=\""},
    {kWin, "s]x", "k", "v", "\"]\""},
    {kWin, "", "k", "v", "section name is empty"},
    {kWin, "s", "  ", "v", "key name is empty"},
    {kWin, "s", ";k", "v", "comment"},
    {kWin, "s", "[k", "v", "section header"},
};

// Whatever is refused, by the arguments or by the file, gives 0 with the reason and writes nothing.
TEST_F(ProfileWriterOnDisk, RefusesWithTheReasonAndWritesNothing)
{
    for (const auto& [file, section, key, value, reason] : kFailures) {
        EXPECT_EQ(writer.WritePrivateProfileStringA(section, key, value, file), 0) << reason;
        EXPECT_TRUE(writer.lastError().contains(QLatin1String(reason))) << writer.lastError().toStdString();
        // Arguments refused on their own are refused by the text edit too.
        EXPECT_TRUE(file != kWin || !editProfileText("[s]\r\nk=v\r\n", section, key, value)) << reason;
    }
    EXPECT_EQ(readBytes(windows("WIN.INI")), QByteArray("[s]\r\nk=v\r\n"));
    EXPECT_EQ(folderEntries(machine.driveC()), QStringList{"WINDOWS"});
    EXPECT_EQ(folderEntries(windows("")), (QStringList{"FOLDER.INI", "PIPE.INI", "WIN.INI"}));
}

} // namespace
} // namespace velmora
