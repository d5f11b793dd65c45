#include "journal/JournalRecovery.h"
#include "journal/StagedDevice.h"

#include "disk/DiskTools.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

using namespace testing;

// One save: those sectors rewritten to the target's bytes, committed.
bool save(const QString& image, const QByteArray& target, const QList<qint64>& sectors)
{
    FileDevice file(image);
    StagedDevice staged(file, undoJournalPath(image));
    for (const qint64 at : sectors) {
        if (!staged.write(at, QByteArrayView(target).sliced(at, kSectorSize)))
            return false;
    }
    return staged.commit().ok();
}

// Real kill -9 of a process in the middle of saving a change to a FAT image (a file grown past
// its clusters and another rewritten, as mtools makes the change), then the image reopened:
// it must hold exactly the old or the new file system, and dosfstools must find it clean.
// VELMORA_KILL_TRIALS sets the kills per FAT type (tools/kill-test.sh runs hundreds).
TEST(KillDuringSave, LeavesTheOldOrTheNewFileSystem)
{
    const int trials = qEnvironmentVariableIsSet("VELMORA_KILL_TRIALS")
                           ? qMax(1, qEnvironmentVariableIntValue("VELMORA_KILL_TRIALS"))
                           : 8;
    std::mt19937 random(20261207);
    for (const auto& [name, bits, kib] : {std::tuple{"FAT16", 16, 8192}, std::tuple{"FAT32", 32, 40000}}) {
        QTemporaryDir dir;
        const QString image = dir.filePath("win98.img"), changed = dir.filePath("new.img");
        writeBytes(dir.filePath("SYSTEM.DAT"), patterned(40000, 1));
        writeBytes(dir.filePath("SYSTEM.NEW"), patterned(70000, 2));
        writeBytes(dir.filePath("WIN.INI"), "[windows]\r\nload=\r\n");
        makeVolume(image, bits, kib);
        mtool(image, "mcopy", {dir.filePath("SYSTEM.DAT"), dir.filePath("WIN.INI"), "::"});
        ASSERT_TRUE(QFile::copy(image, changed));
        mtool(changed, "mcopy", {"-o", dir.filePath("SYSTEM.NEW"), "::SYSTEM.DAT"});
        mtool(changed, "mcopy", {"-o", dir.filePath("WIN.INI"), "::WIN.INI"});
        const QByteArray before = readBytes(image), after = readBytes(changed);
        QList<qint64> sectors; // those the change rewrites
        for (qint64 at = 0; at < before.size(); at += kSectorSize)
            if (before.mid(at, kSectorSize) != after.mid(at, kSectorSize))
                sectors.append(at);

        // The kills are aimed within a little more than the time a save takes here, unloaded.
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(save(image, after, sectors) && save(image, before, sectors));
        const qint64 window = timer.nsecsElapsed() / 1000 * 5 / 8;

        int finished = 0, putBack = 0, dropped = 0;
        for (int trial = 0; trial < trials; ++trial) {
            const QByteArray& target = readBytes(image) == before ? after : before;
            int ready[2];
            ASSERT_EQ(::pipe(ready), 0);
            const pid_t child = ::fork();
            if (child == 0) {
                (void)!::write(ready[1], "r", 1);
                ::_exit(save(image, target, sectors) ? 0 : 1);
            }
            char byte = 0;
            (void)!::read(ready[0], &byte, 1);
            ::close(ready[0]);
            ::close(ready[1]);
            ::usleep(useconds_t(std::uniform_int_distribution<qint64>(0, window)(random)));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            finished += WIFEXITED(status);

            FileDevice reopened(image);
            const Result<SaveRecovery> recovered = recoverInterruptedSave(reopened, undoJournalPath(image));
            ASSERT_TRUE(recovered) << recovered.reason().toStdString();
            putBack += recovered->outcome == SaveRecovery::Outcome::PutBack;
            dropped += recovered->outcome == SaveRecovery::Outcome::UnfinishedDropped;
            const QByteArray now = readBytes(image);
            ASSERT_TRUE(now == before || now == after) << name << " kill " << trial;
            ASSERT_TRUE(!WIFEXITED(status) || now == target) << "a finished save is kept";
            ASSERT_EQ(run("fsck.fat", {"-n", image}).code, 0) << name << " kill " << trial;
        }
        std::printf("%s: %d kills aimed within %lld us, %d after the save finished; reopening put back %d "
                    "and dropped %d unfinished journals; every image old or new and clean\n",
                    name, trials, window, finished, putBack, dropped);
    }
}

} // namespace
} // namespace velmora
