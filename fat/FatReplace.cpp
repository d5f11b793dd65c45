// Replacing a file's whole content, or removing a file: every decision is made and every new
// sector computed in memory, from a checked volume, before anything is written.
#include "fat/FatNames.h"
#include "fat/FatVolume.h"
#include "fat/LittleEndian.h"

#include <algorithm>
#include <map>
#include <vector>

namespace velmora {

namespace {

constexpr qsizetype kRunLimit = 1024 * 1024; // bytes in one write of a plan

// Adds a write, joined to the previous one when it follows it directly.
void addWrite(WritePlan& plan, qint64 offset, QByteArrayView bytes)
{
    if (!plan.empty() && plan.back().offset + plan.back().bytes.size() == offset &&
        plan.back().bytes.size() < kRunLimit)
        plan.back().bytes += bytes;
    else
        plan.push_back({offset, bytes.toByteArray()});
}

// Free clusters, looked for from `from` on and round to the start, as many as asked for when
// there are that many.
std::vector<quint32> takeFree(const FatTable& fat, const FatLayout& layout, quint32 from, quint64 count)
{
    std::vector<quint32> taken;
    if (!layout.isCluster(from))
        from = 2;
    for (quint32 i = 0; i < layout.clusterCount && taken.size() < count; ++i) {
        const quint32 cluster = 2 + (from - 2 + i) % layout.clusterCount;
        if (fat.next(cluster) == FatTable::kFree)
            taken.push_back(cluster);
    }
    return taken;
}

// Links the chain to `length` clusters: kept from its start, extended with fresh ones, the rest freed.
void relink(FatTable& fat, std::vector<quint32>& chain, size_t length,
            std::vector<quint32>::const_iterator fresh)
{
    for (size_t i = length; i < chain.size(); ++i)
        fat.set(chain[i], FatTable::kFree);
    chain.resize(std::min(chain.size(), length));
    while (chain.size() < length) {
        if (!chain.empty())
            fat.set(chain.back(), *fresh);
        chain.push_back(*fresh++);
    }
    if (!chain.empty())
        fat.set(chain.back(), fat.endMarker());
}

// The file's sectors: a reused sector is written only when its bytes change, and the slack after
// the end of the content keeps what the sector held; a new cluster's slack is zeros.
void addDataWrites(WritePlan& plan, const FatLayout& layout, const std::vector<quint32>& chain,
                   QByteArrayView content, QByteArrayView old)
{
    const qint64 sector = layout.bytesPerSector, clusterBytes = layout.clusterBytes();
    for (qint64 at = 0; at < content.size(); at += sector) {
        const bool reused = at < old.size();
        const qint64 length = std::min(sector, content.size() - at);
        if (reused && content.sliced(at, length) == old.sliced(at, length))
            continue; // compared before any copy: most sectors of a large file stay as they are
        const qint64 offset = layout.clusterOffset(chain[size_t(at / clusterBytes)]) + at % clusterBytes;
        QByteArray bytes = reused ? old.sliced(at, sector).toByteArray() : QByteArray(sector, '\0');
        bytes.replace(0, length, content.sliced(at, length));
        addWrite(plan, offset, bytes);
    }
}

// Every changed sector of the FAT, found once and written to each copy kept in step.
void addFatWrites(WritePlan& plan, const FatLayout& layout, QByteArrayView before, QByteArrayView after)
{
    const qint64 sector = layout.bytesPerSector;
    std::vector<qint64> changed;
    for (qint64 at = 0; at < after.size(); at += sector)
        if (after.sliced(at, sector) != before.sliced(at, sector))
            changed.push_back(at);
    for (quint32 copy = 0; copy < layout.fatCount; ++copy) {
        if (!layout.mirrored && copy != layout.activeFat)
            continue;
        for (const qint64 at : changed)
            addWrite(plan, layout.fatOffset(copy) + at, after.sliced(at, sector));
    }
}

// Folder sectors as they will be: each read once, patched in memory, then written whole.
class FolderSectors {
public:
    FolderSectors(BlockDevice& device, qint64 sectorSize) : m_device(device), m_sector(sectorSize) {}
    Result<void> patch(qint64 offset, QByteArrayView bytes)
    {
        const qint64 base = offset - offset % m_sector;
        auto it = m_sectors.find(base);
        if (it == m_sectors.end()) {
            auto read = m_device.read(base, m_sector);
            if (!read)
                return failure(read.reason());
            it = m_sectors.emplace(base, *read).first;
        }
        it->second.replace(offset - base, bytes.size(), bytes.toByteArray());
        return {};
    }
    void addTo(WritePlan& plan) const
    {
        for (const auto& [offset, bytes] : m_sectors)
            addWrite(plan, offset, bytes);
    }

private:
    BlockDevice& m_device;
    qint64 m_sector;
    std::map<qint64, QByteArray> m_sectors;
};

} // namespace

// FSInfo: the free count, and (when clusters were taken) the cluster the next search for a free
// one starts after.
Result<void> FatVolume::addFsInfoWrite(WritePlan& plan, const FatTable& fat, std::optional<quint32> lastTaken)
{
    if (!m_hasFsInfo)
        return {};
    const qint64 offset = qint64(m_layout.fsInfoSector) * m_layout.bytesPerSector;
    auto info = m_device->read(offset, m_layout.bytesPerSector);
    if (!info)
        return failure(info.reason());
    QByteArray updated = *info;
    putLe32(updated, 488, fat.freeCount());
    if (lastTaken)
        putLe32(updated, 492, *lastTaken);
    if (updated != *info)
        addWrite(plan, offset, updated);
    return {};
}

Result<WritePlan> FatVolume::planReplace(QStringView path, QByteArrayView content, const QDateTime& written)
{
    if (!m_damage.isEmpty())
        return failure(m_damage + QStringLiteral("; nothing was written"));
    auto found = lookup(path);
    if (!found)
        return failure(found.reason());
    if (found->parent < 0)
        return failure(inImage(QStringLiteral("no file is named by \"%1\"").arg(path.toString())));
    if (quint64(content.size()) > 0xFFFFFFFFu)
        return failure(inImage(QStringLiteral("%1 bytes do not fit a FAT file").arg(content.size())));
    const bool creating = found->node < 0;
    if (!creating && m_nodes[found->node].isDirectory())
        return failure(inImage(QStringLiteral("%1 is a folder").arg(pathOf(found->node))));
    const QDateTime local = written.toLocalTime();
    QByteArray entry;
    if (creating) {
        auto name = fatentry::encodeShortName(found->name);
        if (!name)
            return failure(inImage(name.reason()));
        entry = *name + QByteArray(21, '\0');
        putLe16(entry, 14, fatentry::dosTime(local));
        putLe16(entry, 16, fatentry::dosDate(local));
        putLe16(entry, 18, fatentry::dosDate(local));
    } else {
        entry = m_nodes[found->node].raw;
    }

    // Where a new entry goes: the first free slot of its folder, or a cluster added to the folder.
    const quint32 clusterBytes = m_layout.clusterBytes();
    qint64 entryOffset = creating ? -1 : m_nodes[found->node].entryOffset;
    qint64 endMarkOffset = -1; // the slot after a taken end-of-folder slot, which must stay the end
    bool folderGrows = false;
    if (creating) {
        auto bytes = readFolder(found->parent);
        if (!bytes)
            return failure(bytes.reason());
        const Extents extents = folderExtents(found->parent);
        const qsizetype slotCount = bytes->size() / fatentry::kSize;
        for (qsizetype slot = 0; slot < slotCount && entryOffset < 0; ++slot) {
            const quint8 first = quint8(bytes->at(slot * fatentry::kSize));
            if (first == fatentry::kDeleted || first == fatentry::kEndOfFolder)
                entryOffset = offsetIn(extents, slot * fatentry::kSize);
            if (first == fatentry::kEndOfFolder && slot + 1 < slotCount &&
                bytes->at((slot + 1) * fatentry::kSize) != '\0')
                endMarkOffset = offsetIn(extents, (slot + 1) * fatentry::kSize);
        }
        if (entryOffset < 0 && found->parent == 0 && m_layout.type != FatType::Fat32)
            return failure(
                inImage(QStringLiteral("cannot create %1: the root folder is full").arg(path.toString())));
        if (entryOffset < 0 && qint64(slotCount) + clusterBytes / fatentry::kSize > kMaxFolderEntries)
            return failure(
                inImage(QStringLiteral("cannot create %1: its folder is full").arg(path.toString())));
        folderGrows = entryOffset < 0;
    }

    // The clusters: the old chain as far as it goes, then free ones; what is left over is freed.
    std::vector<quint32> chain = creating ? std::vector<quint32>() : m_nodes[found->node].clusters;
    const std::vector<quint32> oldChain = chain;
    const quint64 needed = (quint64(content.size()) + clusterBytes - 1) / clusterBytes;
    const quint64 extra = (needed > chain.size() ? needed - chain.size() : 0) + (folderGrows ? 1 : 0);
    const quint32 from = !chain.empty() ? chain.back() + 1 : m_hasFsInfo ? m_fsInfoNext + 1 : 2;
    const std::vector<quint32> fresh = takeFree(m_fat, m_layout, from, extra);
    if (fresh.size() < extra)
        return failure(
            inImage(QStringLiteral("the file system is full: %1 needs %2 more bytes and only %3 are free; "
                                   "nothing was written")
                        .arg(path.toString())
                        .arg(extra * clusterBytes)
                        .arg(qint64(fresh.size()) * clusterBytes)));
    FatTable fat = m_fat;
    relink(fat, chain, size_t(needed), fresh.begin() + (folderGrows ? 1 : 0));
    if (folderGrows) {
        fat.set(m_nodes[found->parent].clusters.back(), fresh.front());
        fat.set(fresh.front(), fat.endMarker());
        entryOffset = m_layout.clusterOffset(fresh.front());
    }

    WritePlan plan;
    QByteArray old;
    if (!oldChain.empty()) {
        const std::vector<quint32> reused(
            oldChain.begin(), oldChain.begin() + qsizetype(std::min<quint64>(needed, oldChain.size())));
        auto read = readRuns(reused, qint64(reused.size()) * clusterBytes);
        if (!read)
            return failure(read.reason());
        old = *read;
    }
    addDataWrites(plan, m_layout, chain, content, old);

    // The entry: size, first cluster, write date and time, and the archive flag any write sets;
    // the other attributes and the long name in the entries before it stay as they are.
    const quint32 start = chain.empty() ? 0 : chain.front();
    putLe32(entry, 28, quint32(content.size()));
    putLe16(entry, 26, quint16(start));
    if (m_layout.type == FatType::Fat32)
        putLe16(entry, 20, quint16(start >> 16));
    putLe16(entry, 22, fatentry::dosTime(local));
    putLe16(entry, 24, fatentry::dosDate(local));
    entry[11] = char(quint8(entry[11]) | fatentry::kArchive);
    if (folderGrows) {
        QByteArray cluster(clusterBytes, '\0');
        cluster.replace(0, fatentry::kSize, entry);
        addWrite(plan, entryOffset, cluster);
    }
    addFatWrites(plan, m_layout, m_fat.bytes(), fat.bytes());

    // The folder sectors holding the entry (and the end mark after a taken last slot).
    FolderSectors folder(*m_device, m_layout.bytesPerSector);
    if (!folderGrows)
        if (auto patched = folder.patch(entryOffset, entry); !patched)
            return failure(patched.reason());
    if (endMarkOffset >= 0)
        if (auto patched = folder.patch(endMarkOffset, QByteArrayView("\0", 1)); !patched)
            return failure(patched.reason());
    folder.addTo(plan);
    if (auto info = addFsInfoWrite(plan, fat, fresh.empty() ? std::nullopt : std::optional(fresh.back()));
        !info)
        return failure(info.reason());
    return plan;
}

Result<WritePlan> FatVolume::planRemove(QStringView path)
{
    if (!m_damage.isEmpty())
        return failure(m_damage + QStringLiteral("; nothing was written"));
    auto found = lookup(path);
    if (!found)
        return failure(found.reason());
    if (found->node < 0 || found->parent < 0)
        return failure(inImage(QStringLiteral("no file is named by \"%1\"").arg(path.toString())));
    const Node& node = m_nodes[found->node];
    if (node.isDirectory())
        return failure(inImage(QStringLiteral("%1 is a folder").arg(pathOf(found->node))));

    // The short entry is marked deleted, and so are the long-name entries just before it that
    // carry its checksum; another program's stray entries stay as they are.
    auto bytes = readFolder(found->parent);
    if (!bytes)
        return failure(bytes.reason());
    const Extents extents = folderExtents(found->parent);
    const qsizetype slotCount = bytes->size() / fatentry::kSize;
    qsizetype slot = 0;
    while (slot < slotCount && offsetIn(extents, slot * fatentry::kSize) != node.entryOffset)
        ++slot;
    if (slot == slotCount)
        return failure(
            inImage(QStringLiteral("the entry of %1 is not in its folder").arg(pathOf(found->node))));
    const quint8 sum = fatentry::checksum(QByteArrayView(node.raw).first(11));
    FolderSectors folder(*m_device, m_layout.bytesPerSector);
    const QByteArrayView deleted("\xE5", 1);
    for (qsizetype at = slot; at >= 0; --at) {
        const QByteArrayView e = QByteArrayView(*bytes).sliced(at * fatentry::kSize, fatentry::kSize);
        const bool itsLongName = (quint8(e[11]) & 0x3F) == fatentry::kLongName &&
                                 quint8(e[0]) != fatentry::kDeleted && quint8(e[13]) == sum;
        if (at != slot && !itsLongName)
            break;
        if (auto patched = folder.patch(offsetIn(extents, at * fatentry::kSize), deleted); !patched)
            return failure(patched.reason());
    }

    WritePlan plan;
    FatTable fat = m_fat;
    for (const quint32 cluster : node.clusters)
        fat.set(cluster, FatTable::kFree);
    addFatWrites(plan, m_layout, m_fat.bytes(), fat.bytes());
    folder.addTo(plan);
    if (auto info = addFsInfoWrite(plan, fat, std::nullopt); !info)
        return failure(info.reason());
    return plan;
}

Result<void> FatVolume::replaceFile(QStringView path, QByteArrayView content, const QDateTime& written)
{
    if (auto sound = checkVolume(); !sound)
        return failure(sound.reason() + QStringLiteral("; nothing was written"));
    auto plan = planReplace(path, content, written);
    if (!plan)
        return failure(plan.reason());
    if (auto wrote = applyPlan(*m_device, *plan); !wrote)
        return wrote;
    if (auto flushed = m_device->flush(); !flushed)
        return flushed;
    return checkVolume();
}

Result<void> applyPlan(BlockDevice& device, const WritePlan& plan)
{
    for (const SectorWrite& w : plan)
        if (auto wrote = device.write(w.offset, w.bytes); !wrote)
            return wrote;
    return {};
}

} // namespace velmora
