#include "files/HostFile.h"

#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace velmora {
namespace {

using namespace testing;

// What stands at the path, made in a folder holding "machine/" (the folder reads are kept in)
// and "outside/": read at once, never blocking, only an ordinary file inside the machine and
// within the limit; anything else refused, saying what it is.
TEST(HostFile, ReadsOnlyAnOrdinaryFileInsideTheMachineAndSaysWhatElseStandsThere)
{
    QTemporaryDir dir;
    const QString machine = dir.path() + "/machine", file = machine + "/f.ini";
    ASSERT_TRUE(writeBytes(machine + "/real/r.ini", "inside") &&
                writeBytes(dir.path() + "/outside/o.ini", "out"));
    // How the path is made, the limit, and the bytes read or the reason; a row named "...NoLink"
    // refuses the file itself being a link.
    const std::tuple<const char*, std::function<bool()>, qint64, const char*, const char*> cases[] = {
        {"OrdinaryFileNoLink", [&] { return writeBytes(file, "abc"); }, 3, "abc", nullptr},
        {"LinkInside", [&] { return QFile::link(machine + "/real/r.ini", file); }, 100, "inside", nullptr},
        {"LinkInsideNoLink", [&] { return QFile::link(machine + "/real/r.ini", file); }, 100, nullptr,
         "it is a link"},
        {"FolderLinkInsideNoLink", [&] { return QFile::link(machine + "/real", machine + "/f.ini"); }, 100,
         "inside", nullptr},
        {"Missing", [] { return true; }, 100, nullptr, "the file does not exist"},
        {"Folder", [&] { return QDir().mkpath(file); }, 100, nullptr, "a folder stands in the file's place"},
        {"Fifo", [&] { return ::mkfifo(QFile::encodeName(file).constData(), 0600) == 0; }, 100, nullptr,
         "it is not an ordinary file but a FIFO"},
        {"LinkOut", [&] { return QFile::link(dir.path() + "/outside/o.ini", file); }, 100, nullptr,
         "the file is a link that leads out of the machine"},
        {"FolderLinkOut", [&] { return QFile::link(dir.path() + "/outside", machine + "/f.ini"); }, 100,
         nullptr, "a link on the way to the file leads out of the machine"},
        {"LinkToNowhere", [&] { return QFile::link(machine + "/gone", file); }, 100, nullptr,
         "the file is a link that leads nowhere"},
        {"OverTheLimit", [&] { return writeBytes(file, "abcd"); }, 3, nullptr,
         "at 4 bytes it is too large (Velmora reads files of up to 3 bytes)"}};
    for (const auto& [label, make, limit, bytes, why] : cases) {
        SCOPED_TRACE(label);
        QDir(machine).removeRecursively();
        ASSERT_TRUE(writeBytes(machine + "/real/r.ini", "inside") && make());
        // Through a link to a folder, the file in it.
        const QString path = QFileInfo(file).isSymLink() && QFileInfo(file).isDir()
                                 ? file + (QByteArrayView(label) == "FolderLinkOut" ? "/o.ini" : "/r.ini")
                                 : file;
        const HostFileRules rules{limit, machine, 0, QByteArrayView(label).endsWith("NoLink")};
        const Result<QByteArray> read = readHostFile(path, rules);
        EXPECT_EQ(read ? *read : read.reason(), bytes ? QString(bytes) : QString(why));
        const Result<bool> exists = hostFileExists(path, rules);
        const QString existence = bytes ? "1" : QByteArrayView(label) == "Missing" ? "0" : why;
        EXPECT_EQ(exists ? QString::number(*exists) : exists.reason(), existence);
    }
    // Without a folder to stay in, a device is named as one, and not opened.
    EXPECT_EQ(readHostFile("/dev/zero").reason(), "it is not an ordinary file but a device");
    const Result<HostFileContents> missing = readHostFileIfPresent(machine + "/none.ini");
    EXPECT_TRUE(missing && !missing->bytes.isPresent() && missing->identity.error == ENOENT);
}

TEST(HostFile, MessagesShowControlCharactersEscaped)
{
    EXPECT_EQ(shownInMessage(QString::fromUtf16(u"C:\\WIN\0 98\r\n\x7F\u00E9", 14)),
              QString::fromUtf16(u"C:\\WIN<0x00> 98<0x0D><0x0A><0x7F>\u00E9"));
}

} // namespace
} // namespace velmora
