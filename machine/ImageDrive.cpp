#include "machine/ImageDrive.h"

#include "disk/DeviceWindow.h"
#include "disk/DiskImage.h"
#include "disk/WindowsPartition.h"
#include "files/HostFile.h"
#include "journal/JournalRecovery.h"
#include "journal/StagedDevice.h"
#include "journal/UndoJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <map>

#include <unistd.h>

namespace velmora {
namespace {

constexpr quint8 kReadOnly = 0x01;

// The qemu-nbd serving a container image is our child; its hold on the image is ours. The
// kernel lists each thread's children (a child ending meanwhile may hide another, whose hold
// then refuses the save: never the other way); without that list every process's parent is read.
QList<qint64> ourChildren()
{
    QList<qint64> children;
    bool listed = false;
    const QStringList threads =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& thread : threads) {
        QFile list(QStringLiteral("/proc/self/task/%1/children").arg(thread));
        if (!list.open(QIODevice::ReadOnly))
            continue;
        listed = true;
        for (const QByteArray& pid : list.readAll().split(' ')) {
            bool isPid = false;
            const qint64 child = pid.trimmed().toLongLong(&isPid);
            if (isPid)
                children.append(child);
        }
    }
    if (listed)
        return children;
    const QString ours = QString::number(::getpid());
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ...": the name may hold spaces and parentheses, so read after the last ')'.
        const QByteArray line = stat.read(4096);
        const qsizetype close = line.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields[1] == ours.toLatin1())
            children.append(pid);
    }
    return children;
}

// The first of the files another program uses, refused with who it is.
Result<void> checkNoneInUse(const QStringList& files, const QList<qint64>& ours)
{
    for (const QString& file : files)
        if (const Result<void> free = checkImageNotInUse(file, ours); !free)
            return free;
    return {};
}

// "WINDOWS\WIN.INI" -> "WINDOWS", "MSDOS.SYS" -> ""
QString folderHolding(const QString& path)
{
    const qsizetype cut = path.lastIndexOf(u'\\');
    return cut < 0 ? QString() : path.left(cut);
}

QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'\\') + 1);
}

} // namespace

ImageDrive::~ImageDrive() = default;

Result<std::unique_ptr<ImageDrive>> ImageDrive::open(const QString& imagePath, const DriveCTest& isDriveC,
                                                     std::optional<int> requestedPartition)
{
    std::unique_ptr<ImageDrive> drive(new ImageDrive());
    drive->m_path = imagePath;
    const QString name = shownInMessage(QFileInfo(imagePath).fileName());

    // A virtual machine running on the image must not see its disk change under it; neither may
    // the undo journal of an interrupted save be played back while it runs. A raw image is held
    // (QEMU's locks taken, then checked once); a container is checked once before its qemu-nbd
    // starts, which takes the locks itself.
    ImageDrive& target = *drive;
    Result<DiskImage> image =
        openDiskImage(imagePath, ImageAccess::ReadWrite, [&](const ImageLayout& layout) -> Result<void> {
            if (!isRawFormat(layout.format)) {
                // A split or flat VMDK's sectors lie in other files, which a virtual machine may
                // hold without holding the descriptor.
                const QDir beside = QFileInfo(imagePath).absoluteDir();
                for (const QString& extent : layout.extentFiles)
                    target.m_extents.append(beside.filePath(extent));
                return checkNoneInUse(QStringList{imagePath} + target.m_extents, {});
            }
            Result<ImageHold> hold = ImageHold::take(imagePath);
            if (!hold)
                return failure(hold.reason());
            target.m_hold = std::move(*hold);
            return {};
        });
    if (!image)
        return failure(image.reason());
    drive->m_disk = image->disk;
    // A container's qemu-nbd has the image open by now: watched from here on, a save looks
    // through the processes again only when someone opened the image since the last look.
    drive->m_servedByChild = !isRawFormat(image->layout.format);
    if (drive->m_servedByChild) {
        if (Result<ImageHold> watch = ImageHold::watch(imagePath))
            drive->m_hold = std::move(*watch);
    }

    const Result<SaveRecovery> recovered = recoverInterruptedSave(*drive->m_disk, undoJournalPath(imagePath));
    if (!recovered)
        return failure(QStringLiteral("%1: %2").arg(name, recovered.reason()));
    drive->m_recoveryNotice = recovered->notice;

    const Result<QList<Partition>> partitions = readPartitions(*drive->m_disk);
    if (!partitions)
        return failure(QStringLiteral("%1: %2").arg(name, partitions.reason()));
    // The file system of each partition that is a drive C, read and checked once and kept: the
    // one chosen is the drive's volume. Nothing writes the disk in between.
    std::map<const BlockDevice*, FatVolume> drivesC;
    Result<ChosenPartition> chosen = chooseWindowsPartition(
        drive->m_disk, *partitions,
        [&](BlockDevice& volume) -> Result<bool> {
            Result<FatVolume> fat = FatVolume::open(volume);
            if (!fat)
                return failure(fat.reason());
            if (!isDriveC(*fat))
                return false;
            drivesC.emplace(&volume, std::move(*fat));
            return true;
        },
        requestedPartition);
    if (!chosen)
        return failure(QStringLiteral("%1: %2").arg(name, chosen.reason()));
    drive->m_partition = chosen->partition;
    drive->m_window = chosen->volume;
    if (auto kept = drivesC.find(drive->m_window.get()); kept != drivesC.end()) {
        drive->m_volume.emplace(std::move(kept->second));
        return drive;
    }
    Result<FatVolume> volume = FatVolume::open(*drive->m_window); // the partition asked for by number
    if (!volume)
        return failure(volume.reason());
    drive->m_volume.emplace(std::move(*volume));
    return drive;
}

QString ImageDrive::named(const QString& path) const
{
    return shownInMessage(path.isEmpty() ? QFileInfo(m_path).fileName() : nameOf(path));
}

Result<void> ImageDrive::readAfterSave()
{
    if (!m_savedSinceRead)
        return {};
    if (const Result<void> reread = m_volume->reload(); !reread)
        return reread;
    m_savedSinceRead = false;
    return {};
}

Result<Found<QByteArray>> ImageDrive::readIfPresent(const QString& path, qint64 limit)
{
    if (const Result<void> fresh = readAfterSave(); !fresh)
        return failure(fresh.reason());
    const Result<Found<FatFileInfo>> entry = m_volume->find(path);
    if (!entry)
        return failure(entry.reason());
    if (!entry->isPresent())
        return Found<QByteArray>::missing();
    if (entry->value.isDirectory())
        return failure(QStringLiteral("a folder stands in the file's place"));
    if (entry->value.size > limit)
        return failure(QStringLiteral("the file is larger than %1 bytes").arg(limit));
    Result<QByteArray> bytes = m_volume->readFile(path);
    if (!bytes)
        return failure(bytes.reason());
    return found(std::move(*bytes));
}

bool ImageDrive::isFolder(const QString& path)
{
    if (path.isEmpty())
        return true;
    if (!readAfterSave())
        return false;
    const Result<FatFileInfo> info = m_volume->stat(path);
    return info && info->isDirectory();
}

QString ImageDrive::folderOf(const QString& path) const
{
    return folderHolding(path);
}

Result<void> ImageDrive::edit(const QString& path, const FileEdit& edit, ReadOnlyFile readOnly)
{
    auto about = [&](const QString& why) {
        return failure(QStringLiteral("%1 could not be written: %2").arg(named(path), why));
    };
    // Only our own processes hold the image, so the file read here is the one the save replaces.
    const QList<qint64> ours = m_servedByChild ? ourChildren() : QList<qint64>{};
    const Result<void> free = m_hold.held() ? m_hold.checkNotInUse(ours) : checkImageNotInUse(m_path, ours);
    if (!free)
        return about(free.reason());
    if (const Result<void> extentsFree = checkNoneInUse(m_extents, ours); !extentsFree)
        return about(extentsFree.reason());
    // The one read of the whole volume a save makes: every chain is checked on the image as it
    // is now, since another program may have changed it since it was read, and the save is
    // planned from what this finds.
    const Result<void> sound = m_volume->checkVolume();
    m_savedSinceRead = false;
    if (!sound)
        return about(sound.reason());
    const Result<Found<FatFileInfo>> entry = m_volume->find(path);
    if (!entry)
        return about(entry.reason());
    // Refused before the edit, which may take a backup for a change that will not be made.
    if (entry->isPresent() && (entry->value.attributes & kReadOnly) && readOnly == ReadOnlyFile::Refused)
        return about(QStringLiteral("the file is read-only"));
    const Result<Found<QByteArray>> current = readIfPresent(path, kHostFileLimit);
    if (!current)
        return about(current.reason());
    const Result<FileChange> edited = edit(*current);
    if (!edited)
        return failure(edited.reason());
    if (edited->kind == FileChange::Kind::Keep ||
        (edited->kind == FileChange::Kind::Remove && !current->isPresent()))
        return {};
    const Result<WritePlan> plan =
        edited->kind == FileChange::Kind::Remove
            ? m_volume->planRemove(path)
            : m_volume->planReplace(path, edited->bytes, QDateTime::currentDateTime());
    if (!plan)
        return about(plan.reason());
    if (const Result<void> written = save(*plan); !written)
        return about(written.reason());
    return {};
}

// One transaction on the whole disk: the journal records disk offsets and the disk's size. The
// plan is made from the volume edit() has just checked; its writes reach the image only
// through the journal.
Result<void> ImageDrive::save(const WritePlan& plan)
{
    auto staged = std::make_shared<StagedDevice>(*m_disk, undoJournalPath(m_path));
    DeviceWindow window(staged, m_window->name(), m_partition.offset, m_window->size());
    if (const Result<void> held = applyPlan(window, plan); !held) {
        staged->discard();
        return held;
    }
    // Whichever way the commit goes, the image may no longer be what the volume last read.
    m_savedSinceRead = true;
    return staged->commit();
}

} // namespace velmora
