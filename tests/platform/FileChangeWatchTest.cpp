#include "platform/FileChangeWatch.h"

#include "platform/AtomicFile.h"
#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using Seen = FileChangeWatch::Seen;
using testing::writeBytes;

class ChangeWatch : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.path() + '/' + name; }
    QTemporaryDir dir;
};

TEST_F(ChangeWatch, SeesEveryKindOfChangeToItsFileOnly)
{
    ASSERT_TRUE(writeBytes(path("system.reg"), "one"));
    FileChangeWatch watch(path("system.reg"));
    EXPECT_EQ(watch.look(), Seen::Unknown) << "the first look knows nothing yet";
    EXPECT_EQ(watch.look(), Seen::Nothing);

    ASSERT_TRUE(writeBytes(path("system.reg"), "two")); // in place, same size
    EXPECT_EQ(watch.look(), Seen::Change);
    EXPECT_EQ(watch.look(), Seen::Nothing);

    ASSERT_TRUE(writeFileAtomically(path("system.reg"), "three")); // replaced by a rename
    EXPECT_EQ(watch.look(), Seen::Change);

    ASSERT_TRUE(writeBytes(path("system.reg.lock"), ""));
    ASSERT_TRUE(writeFileAtomically(path("other.reg"), "x"));
    EXPECT_EQ(watch.look(), Seen::Nothing) << "other files in the folder are no news";

    ASSERT_TRUE(QFile::remove(path("system.reg")));
    EXPECT_EQ(watch.look(), Seen::Change);
    ASSERT_TRUE(writeBytes(path("system.reg"), "back"));
    EXPECT_EQ(watch.look(), Seen::Change);
}

TEST_F(ChangeWatch, AFolderThatCannotBeWatchedLeavesTheLookToTheCaller)
{
    FileChangeWatch missing(path("missing/system.reg"));
    ASSERT_TRUE(QDir().mkpath(path("machine")));
    FileChangeWatch goneLater(path("machine/system.reg"));
    goneLater.look();
    ASSERT_TRUE(QDir(path("machine")).removeRecursively());
    for (FileChangeWatch* watch : {&missing, &missing, &goneLater, &goneLater})
        EXPECT_EQ(watch->look(), Seen::Unknown);
}

} // namespace
} // namespace velmora
