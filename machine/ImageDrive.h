#pragma once

#include "disk/BlockDevice.h"
#include "disk/ImageUse.h"
#include "disk/PartitionTable.h"
#include "fat/FatVolume.h"
#include "files/Drive.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

// Drive C inside a virtual disk image: the FAT volume of the partition Windows is on. Paths are
// below the volume's root ("WINDOWS\WIN.INI"), matched as FAT matches them. The image is held
// while the drive is open, so no virtual machine starts on it meanwhile; each change is one
// transaction on the whole disk (an undo journal beside the image), made only while no other
// program has the image open.
class ImageDrive final : public Drive {
public:
    // Whether a FAT volume is the Windows drive C.
    using DriveCTest = std::function<bool(FatVolume& volume)>;

    // Puts back a save that was cut short, checks that nobody else uses the image, finds the
    // partition (the one requested, else the one isDriveC accepts) and reads its file system.
    // Every failure names the image and what is wrong.
    static Result<std::unique_ptr<ImageDrive>> open(const QString& imagePath, const DriveCTest& isDriveC,
                                                    std::optional<int> requestedPartition);
    ~ImageDrive() override;

    // What opening found of an interrupted save, for the user; empty when the last save ended.
    const QString& recoveryNotice() const { return m_recoveryNotice; }
    const QString& imagePath() const { return m_path; }
    const Partition& partition() const { return m_partition; }

    Result<Found<QByteArray>> readIfPresent(const QString& path, qint64 limit) override;
    bool isFolder(const QString& path) override;
    QString folderOf(const QString& path) const override;
    // Refused with nothing written when another program opened the image since, when the file
    // has the read-only attribute (unless the change is one Windows makes all the same), or when
    // the file system is damaged. A removed file's entry is
    // marked deleted and its clusters freed.
    Result<void> edit(const QString& path, const FileEdit& edit, ReadOnlyFile readOnly) override;

private:
    ImageDrive() = default;
    Result<void> save(const WritePlan& plan);
    // Reads the volume again when a save changed the image since it was last read.
    Result<void> readAfterSave();
    QString named(const QString& path) const;

    QString m_path;
    QString m_recoveryNotice;
    Partition m_partition;
    std::shared_ptr<BlockDevice> m_disk;
    std::shared_ptr<BlockDevice> m_window; // the partition, for reading
    std::optional<FatVolume> m_volume;
    bool m_savedSinceRead = false; // m_volume no longer shows the image
    bool m_servedByChild = false;  // a container: our own qemu-nbd serves and holds it
    QStringList m_extents;         // a VMDK's other files, each checked as the image is
    ImageHold m_hold;              // a raw kind's locks; a container's watch on opens
};

} // namespace velmora
