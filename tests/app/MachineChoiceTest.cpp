#include "app/CommandLine.h"
#include "machine/MachineFolder.h"

#include "support/FileFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

// Only the default machine folder is made on first start, and only where nothing is; --machine
// names one that must be there, --new-machine one to make where nothing is or an empty folder.
// A refusal names the root and leaves it as it was.
TEST(MachineChoiceTest, AMachineIsMadeOnlyWhereNothingIsAndOnlyWhenAllowed)
{
    const CommandLine plain({"velmora"});
    EXPECT_FALSE(plain.forTerminal());
    EXPECT_EQ(plain.machineRoot(), MachineFolder::defaultLocation());
    EXPECT_EQ(plain.machineCreation(), MachineFolder::Creation::SeedWhenEmpty);
    const struct {
        const char* name;
        const char* option;  // before the root; nullptr: none, the default machine's way
        const char* there;   // null: nothing; "/": an empty folder; else a file, "" the root itself
        const char* refusal; // a part of the reason, after the root; null: usable
        bool seeded;
    } cases[] = {
        {"default, nothing there", nullptr, nullptr, nullptr, true},
        {"named, nothing there", "--machine", nullptr, " does not exist", false},
        {"named, empty folder", "--machine", "/", " is empty", false},
        {"named machine folder", "--machine", "/system.reg", nullptr, false},
        {"named drive", "--machine", "/WINDOWS/SYSTEM.DAT", nullptr, false},
        {"new, nothing there", "--new-machine", nullptr, nullptr, true},
        {"new, empty folder", "--new-machine", "/", nullptr, true},
        {"new over a machine", "--new-machine", "/system.reg", " already exists", false},
        {"new over a drive", "--new-machine", "/WINDOWS/SYSTEM.DAT", " already exists", false},
        {"new over a file", "--new-machine", "", " already exists", false},
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
        const QStringList before = testing::folderEntries(root);
        const CommandLine commandLine(c.option ? QStringList{"velmora", c.option, root}
                                               : QStringList{"velmora"});
        EXPECT_FALSE(commandLine.forTerminal());
        EXPECT_EQ(commandLine.machineRoot(), c.option ? root : plain.machineRoot());
        const Result<void> prepared = MachineFolder(root).prepare(commandLine.machineCreation());
        EXPECT_TRUE(c.refusal ? !prepared && prepared.reason().contains(root + c.refusal) : prepared.ok())
            << prepared.reason().toStdString();
        EXPECT_EQ(QFileInfo::exists(root + "/drive_c/WINDOWS/WIN.INI") &&
                      QFileInfo::exists(root + "/system.reg"),
                  c.seeded);
        if (!c.seeded) {
            EXPECT_EQ(testing::folderEntries(root), before);
            EXPECT_EQ(QFileInfo::exists(root), c.there != nullptr);
        }
    }
}

} // namespace
} // namespace velmora
