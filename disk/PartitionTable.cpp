#include "disk/PartitionTable.h"

#include "disk/BootSector.h"
#include "disk/ByteFields.h"

#include <QLocale>
#include <QSet>

namespace velmora {

namespace {

constexpr qint64 sectorBytes = 512;
// Far more logical partitions than any disk of the time held; a longer chain is damage.
constexpr int mostLogicalPartitions = 128;

bool isExtended(quint8 type)
{
    return type == 0x05 || type == 0x0F || type == 0x85;
}

struct Entry {
    quint8 status;
    quint8 type;
    quint32 start; // sectors, from the table's own reference point
    quint32 count;
};

Entry entryAt(QByteArrayView sector, int index)
{
    const qsizetype at = 446 + 16 * index;
    return Entry{quint8(sector[at]), quint8(sector[at + 4]), littleEndianAt<quint32>(sector, at + 8),
                 littleEndianAt<quint32>(sector, at + 12)};
}

QString typeName(quint8 type)
{
    switch (type) {
    case 0x01:
        return QStringLiteral("FAT12");
    case 0x04:
    case 0x06:
    case 0x0E:
        return QStringLiteral("FAT16");
    case 0x0B:
    case 0x0C:
        return QStringLiteral("FAT32");
    case 0x07:
        return QStringLiteral("NTFS or exFAT");
    case 0x82:
        return QStringLiteral("Linux swap");
    case 0x83:
        return QStringLiteral("Linux");
    default:
        return QStringLiteral("type 0x%1").arg(type, 2, 16, QLatin1Char('0'));
    }
}

class TableReader {
public:
    explicit TableReader(BlockDevice& disk) : m_disk(disk), m_sectors(disk.size() / sectorBytes) {}

    Result<QList<Partition>> read();

private:
    Result<QByteArray> sectorAt(qint64 sector);
    Result<void> add(int number, const Entry& entry, qint64 firstSector, qint64 areaStart, qint64 areaEnd);
    Result<void> followChain(const Entry& extended);
    Result<void> checkOverlaps() const;

    BlockDevice& m_disk;
    qint64 m_sectors;
    QList<Partition> m_partitions;
    int m_nextLogical = 5;
};

Result<QByteArray> TableReader::sectorAt(qint64 sector)
{
    return m_disk.read(sector * sectorBytes, sectorBytes);
}

// A partition must lie inside its area (the disk, or its extended partition) and not cover
// the table that describes it.
Result<void> TableReader::add(int number, const Entry& entry, qint64 firstSector, qint64 areaStart,
                              qint64 areaEnd)
{
    if (entry.count == 0 || firstSector <= areaStart || firstSector + entry.count > areaEnd)
        return failure(
            QStringLiteral("partition %1 lies outside the disk or its extended partition").arg(number));
    m_partitions.append(Partition{number, entry.type, entry.status == 0x80, firstSector * sectorBytes,
                                  entry.count * sectorBytes});
    return {};
}

// Each link of the chain holds a logical partition (placed from the link itself) and the next
// link (placed from the extended partition's start).
Result<void> TableReader::followChain(const Entry& extended)
{
    const qint64 base = extended.start;
    const qint64 end = base + extended.count;
    if (extended.start == 0 || extended.count == 0 || end > m_sectors)
        return failure(QStringLiteral("the extended partition lies outside the disk"));
    QSet<qint64> visited;
    for (qint64 link = base; link >= 0;) {
        if (visited.contains(link) || visited.size() >= mostLogicalPartitions)
            return failure(QStringLiteral("the chain of logical partitions loops"));
        visited.insert(link);
        const Result<QByteArray> sector = sectorAt(link);
        if (!sector)
            return failure(sector.reason());
        if (!bytesAt(*sector, 510, "\x55\xAA"))
            return failure(
                QStringLiteral("the chain of logical partitions is broken at sector %1").arg(link));
        const Entry logical = entryAt(*sector, 0);
        if (logical.type != 0) {
            if (isExtended(logical.type))
                return failure(
                    QStringLiteral("the chain of logical partitions is broken at sector %1").arg(link));
            if (const Result<void> added = add(m_nextLogical++, logical, link + logical.start, link, end);
                !added)
                return added;
        }
        const Entry next = entryAt(*sector, 1);
        link = -1;
        if (next.type != 0 && next.count != 0) {
            if (!isExtended(next.type) || next.start == 0 || base + next.start >= end)
                return failure(
                    QStringLiteral("the chain of logical partitions leaves its extended partition"));
            link = base + next.start;
        }
    }
    return {};
}

Result<void> TableReader::checkOverlaps() const
{
    for (qsizetype i = 0; i < m_partitions.size(); ++i) {
        for (qsizetype j = i + 1; j < m_partitions.size(); ++j) {
            const Partition& a = m_partitions[i];
            const Partition& b = m_partitions[j];
            if (a.offset < b.offset + b.length && b.offset < a.offset + a.length)
                return failure(QStringLiteral("partitions %1 and %2 overlap").arg(a.number).arg(b.number));
        }
    }
    return {};
}

Result<QList<Partition>> TableReader::read()
{
    if (m_sectors < 1)
        return failure(QStringLiteral("the disk is too small to hold a partition table"));
    const Result<QByteArray> first = sectorAt(0);
    if (!first)
        return failure(first.reason());
    if (looksLikeFatBootSector(*first))
        return QList<Partition>{Partition{0, 0, false, 0, m_sectors * sectorBytes}};
    if (!bytesAt(*first, 510, "\x55\xAA")) {
        if (first->count('\0') == first->size())
            return failure(QStringLiteral("the disk is blank (its first sector holds only zeros)"));
        return failure(QStringLiteral("the disk holds neither a partition table nor a FAT boot sector "
                                      "(first bytes %1)")
                           .arg(QString::fromLatin1(first->first(16).toHex(' '))));
    }
    QList<Entry> extended;
    for (int index = 0; index < 4; ++index) {
        const Entry entry = entryAt(*first, index);
        if (entry.type == 0xEE)
            return failure(QStringLiteral("a GPT disk (Windows 95, 98 and Me use MBR partitions only)"));
        if (entry.status != 0 && entry.status != 0x80)
            return failure(QStringLiteral("the partition table is damaged (entry %1 has status 0x%2)")
                               .arg(index + 1)
                               .arg(entry.status, 2, 16, QLatin1Char('0')));
        if (entry.type == 0)
            continue;
        if (isExtended(entry.type)) {
            extended.append(entry);
            continue;
        }
        if (const Result<void> added = add(index + 1, entry, entry.start, 0, m_sectors); !added)
            return failure(added.reason());
    }
    for (const Entry& entry : extended) {
        if (const Result<void> followed = followChain(entry); !followed)
            return failure(followed.reason());
    }
    if (m_partitions.isEmpty())
        return failure(QStringLiteral("the partition table lists no partition"));
    if (const Result<void> separate = checkOverlaps(); !separate)
        return failure(separate.reason());
    return m_partitions;
}

} // namespace

Result<QList<Partition>> readPartitions(BlockDevice& disk)
{
    return TableReader(disk).read();
}

bool isFatPartition(const Partition& partition)
{
    switch (partition.type) {
    case 0x00: // the whole disk, recognised by its boot sector
        return partition.number == 0;
    case 0x01:
    case 0x04:
    case 0x06:
    case 0x0B:
    case 0x0C:
    case 0x0E:
        return true;
    default:
        return false;
    }
}

QString describePartition(const Partition& partition)
{
    const QString size =
        QLocale::c().formattedDataSize(partition.length, 1, QLocale::DataSizeTraditionalFormat);
    if (partition.number == 0)
        return QStringLiteral("the whole disk (FAT, %1, no partition table)").arg(size);
    return QStringLiteral("partition %1 (%2, %3%4)")
        .arg(partition.number)
        .arg(typeName(partition.type), size, partition.active ? QStringLiteral(", active") : QString());
}

} // namespace velmora
