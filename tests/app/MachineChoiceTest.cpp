#include "app/CommandLine.h"
#include "machine/MachineFolder.h"

#include "support/FileFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using Creation = MachineFolder::Creation;

// Only the default machine folder is made on first start; --machine names one that must be
// there, --new-machine one to make.
TEST(MachineChoiceTest, TheCommandLineSaysWhichMachineAndWhetherItMayBeMade)
{
    const struct {
        QStringList arguments;
        QString root;
        Creation creation;
    } cases[] = {
        {{}, MachineFolder::defaultLocation(), Creation::SeedWhenEmpty},
        {{"--machine", "/mnt/win98"}, "/mnt/win98", Creation::MustExist},
        {{"--new-machine", "/tmp/new"}, "/tmp/new", Creation::New},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CommandLine commandLine(QStringList{"velmora"} + c.arguments);
        EXPECT_FALSE(commandLine.forTerminal());
        EXPECT_EQ(commandLine.machineRoot(), c.root);
        EXPECT_EQ(commandLine.machineCreation(), c.creation);
    }
}

// What preparing a root does by what is there and what may be made: a machine is seeded only
// where nothing is and only when allowed; a refusal names the root and leaves it as it was.
TEST(MachineChoiceTest, AMachineIsMadeOnlyWhereNothingIsAndOnlyWhenAllowed)
{
    const struct {
        const char* name;
        const char* there; // null: nothing; "/": an empty folder; else a file, "" the root itself
        Creation creation;
        const char* refusal; // a part of the reason, after the root; null: usable
        bool seeded;
    } cases[] = {
        {"default, nothing there", nullptr, Creation::SeedWhenEmpty, nullptr, true},
        {"named, nothing there", nullptr, Creation::MustExist, " does not exist", false},
        {"named, empty folder", "/", Creation::MustExist, " is empty", false},
        {"named machine folder", "/system.reg", Creation::MustExist, nullptr, false},
        {"named drive", "/WINDOWS/SYSTEM.DAT", Creation::MustExist, nullptr, false},
        {"new, nothing there", nullptr, Creation::New, nullptr, true},
        {"new, empty folder", "/", Creation::New, nullptr, true},
        {"new over a machine", "/system.reg", Creation::New, " already exists", false},
        {"new over a drive", "/WINDOWS/SYSTEM.DAT", Creation::New, " already exists", false},
        {"new over a file", "", Creation::New, " already exists", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString root = dir.path() + "/machine";
        if (c.there) {
            ASSERT_TRUE(c.there == std::string("/")
                            ? QDir().mkpath(root)
                            : testing::writeBytes(root + c.there, "REGEDIT4\r\n\r\n"));
        }
        const auto listing = [&root] {
            return QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                        QDir::System);
        };
        const QStringList before = listing();
        const Result<void> prepared = MachineFolder(root).prepare(c.creation);
        EXPECT_TRUE(c.refusal ? !prepared && prepared.reason().contains(root + c.refusal) : prepared.ok())
            << prepared.reason().toStdString();
        EXPECT_EQ(QFileInfo::exists(root + "/drive_c/WINDOWS/WIN.INI") &&
                      QFileInfo::exists(root + "/system.reg"),
                  c.seeded);
        if (!c.seeded) {
            EXPECT_EQ(listing(), before);
            EXPECT_EQ(QFileInfo::exists(root), c.there != nullptr);
        }
    }
}

} // namespace
} // namespace velmora
