#pragma once

#include "core/Found.h"
#include "disk/BlockDevice.h"
#include "fat/FatLayout.h"
#include "fat/FatTable.h"
#include "fat/WritePlan.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace velmora {

// What a folder entry says of a file or folder.
struct FatFileInfo {
    QString path;      // from the root, in short names joined by backslashes: WINDOWS\SYSTEM.DAT
    QString shortName; // NAME.EXT
    QString longName;  // empty when the entry has none
    quint8 attributes = 0;
    quint32 size = 0;
    QDateTime written;

    bool isDirectory() const { return attributes & 0x10; }
};

// A FAT12, FAT16 or FAT32 file system on a block device that is the volume itself (offset 0 is
// its boot sector). Opening reads the boot sector, the FAT and every folder, and checks every
// cluster chain; reads of a sound file are served even when another file is damaged, writes
// only when the whole volume is sound. Paths are Windows paths below the root ("WINDOWS\WIN.INI",
// '/' also separates), each component matched without regard to case against the 8.3 name or
// the long name.
class FatVolume {
public:
    // The bounds that keep a hostile volume from exhausting memory or time.
    static constexpr int kMaxDepth = 64;
    static constexpr qsizetype kMaxEntries = 500000;
    static constexpr qsizetype kMaxFolderEntries = 65536;
    static constexpr qint64 kMaxReadSize = 256 * 1024 * 1024;

    // Fails only when the boot sector or the FAT cannot be read or make no sense.
    static Result<FatVolume> open(BlockDevice& device);

    const FatLayout& layout() const { return m_layout; }
    FatType type() const { return m_layout.type; }
    // The first damage the latest check found, naming the image, the file and the reason; empty
    // when the file system is sound.
    const QString& damage() const { return m_damage; }
    // Reads the boot sector, the FAT and every folder from the device again and checks every
    // chain, as open() does: for a device that may have changed since. Fails only as open() does.
    Result<void> reload();
    // reload(), failing with damage() when the volume is damaged: the check before a save.
    Result<void> checkVolume();

    Result<FatFileInfo> stat(QStringView path) const;
    // The entry at path, or missing when its folder holds none by that name; a failure when a
    // folder on the way does not exist.
    Result<Found<FatFileInfo>> find(QStringView path) const;
    // The entries of a folder in their on-disk order ("" is the root), without "." and "..".
    Result<std::vector<FatFileInfo>> list(QStringView folder) const;
    Result<QByteArray> readFile(QStringView path);

    // Everything a replacement of the file's whole content writes, planned from the volume as
    // last read (whoever lets the device change meanwhile checks it again first); nothing is
    // written, and a damaged volume gets no plan. The file keeps its clusters as far as they go,
    // its attributes (with the archive flag set, as any write sets it) and its long name; a
    // missing file is created with its 8.3 name in its existing folder.
    Result<WritePlan> planReplace(QStringView path, QByteArrayView content, const QDateTime& written);
    // Everything removing the file writes: its entry and its long name's entries marked deleted,
    // its clusters freed in every FAT copy and the FSInfo count. Planned as planReplace is.
    Result<WritePlan> planRemove(QStringView path);
    // checkVolume, planReplace, then its writes through the device, a flush, and a fresh read.
    Result<void> replaceFile(QStringView path, QByteArrayView content,
                             const QDateTime& written = QDateTime::currentDateTime());

private:
    struct Node {
        int parent = -1;
        QByteArray raw; // the 32-byte short entry as read; empty for the root
        qint64 entryOffset = -1;
        QString shortName;
        QString longName;
        quint8 attributes = 0;
        quint32 size = 0;
        std::vector<quint32> clusters; // its chain, in order
        std::vector<int> children;     // folders only, in on-disk order
        QString damage;                // why its chain cannot be trusted
        bool isDirectory() const { return attributes & 0x10; }
    };
    struct Lookup {
        int node = -1;    // -1: the last component is missing
        int parent = -1;  // the folder that holds or would hold it
        QStringView name; // the last component as given
    };

    explicit FatVolume(BlockDevice& device) : m_device(&device) {}

    Result<void> load();
    Result<void> readVolume();
    Result<void> loadFat();
    Result<void> walkFolders();
    Result<QByteArray> readFolder(int node);
    void claimChain(int node, quint32 start);
    void noteDamage(int node, const QString& reason);
    QString pathOf(int node) const;
    FatFileInfo infoOf(int node) const;
    // A folder's stretches of the volume (offset, length), in order, and where its byte `at` lies.
    using Extents = std::vector<std::pair<qint64, qint64>>;
    Extents folderExtents(int node) const;
    static qint64 offsetIn(const Extents& extents, qint64 at);
    Result<Lookup> lookup(QStringView path) const;
    QString inImage(const QString& what) const;
    Result<QByteArray> readRuns(const std::vector<quint32>& clusters, qint64 bytes);
    Result<void> addFsInfoWrite(WritePlan& plan, const FatTable& fat, std::optional<quint32> lastTaken);

    BlockDevice* m_device;
    FatLayout m_layout;
    FatTable m_fat;
    quint32 m_fsInfoFree = 0xFFFFFFFF;
    quint32 m_fsInfoNext = 0xFFFFFFFF;
    bool m_hasFsInfo = false;
    std::vector<Node> m_nodes;    // the root first
    std::vector<quint32> m_owner; // by cluster: the node holding it, plus one; 0 when none
    QString m_damage;
};

} // namespace velmora
