#include "FileDevice.h"

#include "journal/JournalRecovery.h"
#include "journal/StagedDevice.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

using test::FileDevice;
using test::readWholeFile;
using test::writeWholeFile;

int run(const QString& command)
{
    const QString quiet = QStringLiteral("(export MTOOLS_SKIP_CHECK=1; %1) >/dev/null 2>&1").arg(command);
    return std::system(quiet.toLocal8Bit().constData());
}

QByteArray pattern(int length, int seed)
{
    QByteArray bytes(length, Qt::Uninitialized);
    std::mt19937 random(seed);
    for (char& c : bytes)
        c = char(random());
    return bytes;
}

// The sectors where two images differ, as stretches of consecutive ones.
QList<std::pair<qint64, qint64>> differingStretches(const QByteArray& a, const QByteArray& b)
{
    QList<std::pair<qint64, qint64>> stretches;
    for (qint64 at = 0; at < a.size(); at += kSectorSize) {
        if (QByteArrayView(a).sliced(at, kSectorSize) == QByteArrayView(b).sliced(at, kSectorSize))
            continue;
        if (!stretches.isEmpty() && stretches.last().first + stretches.last().second == at)
            stretches.last().second += kSectorSize;
        else
            stretches.append({at, kSectorSize});
    }
    return stretches;
}

// One save: the stretches of the image rewritten to the target's bytes, committed.
bool save(const QString& image, const QByteArray& target, const QList<std::pair<qint64, qint64>>& stretches)
{
    FileDevice file(image);
    StagedDevice staged(file, undoJournalPath(image));
    for (const auto& [offset, length] : stretches) {
        if (!staged.write(offset, QByteArrayView(target).sliced(offset, length)))
            return false;
    }
    return staged.commit().ok();
}

// Real kill -9 of a process in the middle of saving a change to a FAT image (a file grown past
// its clusters and another rewritten, as mtools makes the change), then the image reopened:
// it must hold exactly the old or the new file system, and dosfstools must find it clean.
// VELMORA_KILL_TRIALS sets the number of kills per FAT type (tools/kill-test.sh runs hundreds).
TEST(KillDuringSave, LeavesTheOldOrTheNewFileSystem)
{
    if (run(QStringLiteral("command -v mkfs.fat && command -v fsck.fat && command -v mcopy")) != 0)
        GTEST_SKIP() << "dosfstools and mtools are needed";
    const int trials = qMax(1, qEnvironmentVariableIntValue("VELMORA_KILL_TRIALS"));
    const int trialsPerType = qEnvironmentVariableIsSet("VELMORA_KILL_TRIALS") ? trials : 8;
    struct Row {
        const char* name;
        const char* format;
        int kilobytes;
    };
    const Row rows[] = {{"FAT16", "-F 16 -s 1", 8192}, {"FAT32", "-F 32 -s 1", 40000}};
    std::mt19937 random(20261207);

    for (const Row& row : rows) {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("win98.img"));
        const QString changed = dir.filePath(QStringLiteral("changed.img"));
        writeWholeFile(dir.filePath(QStringLiteral("SYSTEM.DAT")), pattern(40000, 1));
        writeWholeFile(dir.filePath(QStringLiteral("SYSTEM.NEW")), pattern(70000, 2));
        writeWholeFile(dir.filePath(QStringLiteral("WIN.INI")), "[windows]\r\nload=\r\n");
        writeWholeFile(dir.filePath(QStringLiteral("WIN.NEW")), "[windows]\r\nload=\r\nrun=\r\n");
        const QString in = QStringLiteral("cd '%1' && ").arg(dir.path());
        ASSERT_EQ(
            run(in + QStringLiteral("mkfs.fat -C %1 win98.img %2 && mcopy -i win98.img SYSTEM.DAT WIN.INI ::")
                         .arg(QLatin1String(row.format))
                         .arg(row.kilobytes)),
            0);
        ASSERT_EQ(run(in + QStringLiteral("cp win98.img changed.img && mcopy -o -i changed.img SYSTEM.NEW "
                                          "::SYSTEM.DAT && mcopy -o -i changed.img WIN.NEW ::WIN.INI")),
                  0);
        ASSERT_EQ(run(QStringLiteral("fsck.fat -n '%1' && fsck.fat -n '%2'").arg(image, changed)), 0);
        const QByteArray before = readWholeFile(image);
        const QByteArray after = readWholeFile(changed);
        const auto stretches = differingStretches(before, after);

        // The window to aim the kills at: as long as a save takes here, and a little more.
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(save(image, after, stretches));
        ASSERT_TRUE(save(image, before, stretches));
        const qint64 windowMicroseconds = timer.nsecsElapsed() / 1000 * 3 / 4;

        int killed = 0, finished = 0, putBack = 0, dropped = 0, clean = 0;
        for (int trial = 0; trial < trialsPerType; ++trial) {
            const QByteArray current = readWholeFile(image);
            const QByteArray& target = current == before ? after : before;
            int ready[2];
            ASSERT_EQ(::pipe(ready), 0);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::close(ready[0]);
                FileDevice file(image);
                StagedDevice staged(file, undoJournalPath(image));
                for (const auto& [offset, length] : stretches)
                    (void)staged.write(offset, QByteArrayView(target).sliced(offset, length));
                (void)!::write(ready[1], "r", 1);
                ::_exit(staged.commit().ok() ? 0 : 1);
            }
            ::close(ready[1]);
            char byte = 0;
            (void)!::read(ready[0], &byte, 1);
            ::close(ready[0]);
            ::usleep(useconds_t(std::uniform_int_distribution<qint64>(0, windowMicroseconds)(random)));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            if (WIFSIGNALED(status))
                ++killed;
            else
                ++finished;

            FileDevice reopened(image);
            const Result<SaveRecovery> recovered = recoverInterruptedSave(reopened, undoJournalPath(image));
            ASSERT_TRUE(recovered) << recovered.reason().toStdString();
            putBack += recovered->outcome == SaveRecovery::Outcome::PutBack;
            dropped += recovered->outcome == SaveRecovery::Outcome::UnfinishedDropped;
            clean += recovered->outcome == SaveRecovery::Outcome::Clean;
            const QByteArray now = readWholeFile(image);
            ASSERT_TRUE(now == before || now == after) << row.name << " trial " << trial;
            if (WIFEXITED(status)) {
                EXPECT_EQ(now, target) << "a save that finished is kept";
            }
            ASSERT_EQ(run(QStringLiteral("fsck.fat -n '%1'").arg(image)), 0)
                << row.name << " trial " << trial;
        }
        std::printf("%s: %d kills (%d mid-save), %d saves finished first; on reopening %d put back, %d "
                    "unfinished journals dropped, %d without journal; window %lld us; all old or new, fsck "
                    "clean\n",
                    row.name, trialsPerType, killed, finished, putBack, dropped, clean, windowMicroseconds);
    }
}

} // namespace
} // namespace velmora
