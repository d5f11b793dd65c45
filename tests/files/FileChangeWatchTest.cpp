#include "files/FileChangeWatch.h"

#include "files/AtomicFile.h"
#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using Seen = FileChangeWatch::Seen;
using testing::writeBytes;

// Every kind of change to the file is seen, other files of its folder are no news, and after the
// caller's own write a change another program made right after it is not taken for the write's
// own events: the next look leaves the verdict to the caller, once. A link's folder tells nothing
// of its target, and a folder that cannot be watched (gone, or never there) leaves every look to
// the caller.
TEST(ChangeWatch, SeesChangesToItsFileButItsOwnWritesWhileItsFolderIsThere)
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/system.reg", link = dir.path() + "/linked.reg";
    ASSERT_TRUE(writeBytes(file, "one") && QFile::link(file, link));
    FileChangeWatch watch(file), linked(link);
    EXPECT_EQ(watch.look(), Seen::Unknown) << "the first look knows nothing yet";
    ASSERT_TRUE(writeBytes(file, "two")); // in place, same size
    EXPECT_EQ(watch.look(), Seen::Change);
    ASSERT_TRUE(writeFileAtomically(file, "three")); // replaced by a rename
    EXPECT_EQ(watch.look(), Seen::Change);
    ASSERT_TRUE(writeBytes(file + ".lock", "") && writeFileAtomically(dir.path() + "/other.reg", "x"));
    EXPECT_EQ(watch.look(), Seen::Nothing) << "other files in the folder are no news";
    ASSERT_TRUE(writeFileAtomically(file, "ours"));
    ASSERT_TRUE(writeBytes(file, "them")); // another program, before the events were taken out
    watch.ownWrite();
    EXPECT_EQ(watch.look(), Seen::Unknown);
    EXPECT_EQ(watch.look(), Seen::Nothing);
    watch.ownWrite();
    ASSERT_TRUE(writeBytes(file, "news")); // after: seen as such
    EXPECT_EQ(watch.look(), Seen::Change);
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_EQ(watch.look(), Seen::Change);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(linked.look(), Seen::Unknown);

    ASSERT_TRUE(dir.remove());
    FileChangeWatch missing(file);
    for (FileChangeWatch* w : {&missing, &missing, &watch, &watch})
        EXPECT_EQ(w->look(), Seen::Unknown);
}

} // namespace
} // namespace velmora
