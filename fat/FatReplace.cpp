// Replacing a file's whole content: every decision is made and every new sector computed in
// memory, from a fresh check of the volume, before anything is written.
#include "fat/FatNames.h"
#include "fat/FatVolume.h"
#include "fat/LittleEndian.h"

#include <algorithm>
#include <map>

namespace velmora {

namespace {

constexpr qsizetype kRunLimit = 1024 * 1024; // bytes in one write of a plan

// Adds a sector write, joined to the previous one when it follows it directly.
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

} // namespace

Result<WritePlan> FatVolume::planReplace(QStringView path, QByteArrayView content, const QDateTime& written)
{
    if (auto sound = checkVolume(); !sound)
        return failure(sound.reason() + QStringLiteral("; nothing was written"));
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
    QByteArray entry;
    if (creating) {
        auto name = fatentry::encodeShortName(found->name);
        if (!name)
            return failure(inImage(name.reason()));
        entry = *name + QByteArray(21, '\0');
        entry[11] = char(fatentry::kArchive);
        putLe16(entry, 14, fatentry::dosTime(written.toLocalTime()));
        putLe16(entry, 16, fatentry::dosDate(written.toLocalTime()));
        putLe16(entry, 18, fatentry::dosDate(written.toLocalTime()));
    } else {
        entry = m_nodes[found->node].raw;
    }

    // Where the entry goes: its own place, or the first free slot of its folder, or a new cluster
    // added to the folder.
    const quint32 clusterBytes = m_layout.clusterBytes();
    qint64 entryOffset = creating ? -1 : m_nodes[found->node].entryOffset;
    qint64 endMarkOffset = -1; // the slot after a taken end-of-folder slot, which must stay the end
    bool folderGrows = false;
    if (creating) {
        auto bytes = readFolder(found->parent);
        if (!bytes)
            return failure(bytes.reason());
        const auto extents = folderExtents(found->parent);
        const auto offsetOf = [&](qsizetype slot) {
            qint64 at = qint64(slot) * fatentry::kSize;
            for (const auto& [offset, length] : extents) {
                if (at < length)
                    return offset + at;
                at -= length;
            }
            return qint64(-1);
        };
        const qsizetype slotCount = bytes->size() / fatentry::kSize;
        for (qsizetype slot = 0; slot < slotCount && entryOffset < 0; ++slot) {
            const quint8 first = quint8(bytes->at(slot * fatentry::kSize));
            if (first == fatentry::kDeleted) {
                entryOffset = offsetOf(slot);
            } else if (first == fatentry::kEndOfFolder) {
                entryOffset = offsetOf(slot);
                if (slot + 1 < slotCount && bytes->at((slot + 1) * fatentry::kSize) != '\0')
                    endMarkOffset = offsetOf(slot + 1);
            }
        }
        if (entryOffset < 0) {
            if (found->parent == 0 && m_layout.type != FatType::Fat32)
                return failure(inImage(
                    QStringLiteral("cannot create %1: the root folder is full").arg(path.toString())));
            if ((qint64(slotCount) + clusterBytes / fatentry::kSize) > kMaxFolderEntries)
                return failure(
                    inImage(QStringLiteral("cannot create %1: its folder is full").arg(path.toString())));
            folderGrows = true;
        }
    }

    // The clusters: the old chain as far as it goes, then free ones; what is left over is freed.
    const std::vector<quint32> oldChain = creating ? std::vector<quint32>() : m_nodes[found->node].clusters;
    const quint64 needed = (quint64(content.size()) + clusterBytes - 1) / clusterBytes;
    const quint64 extra = (needed > oldChain.size() ? needed - oldChain.size() : 0) + (folderGrows ? 1 : 0);
    const quint32 from = !oldChain.empty() ? oldChain.back() + 1 : m_hasFsInfo ? m_fsInfoNext + 1 : 2;
    const std::vector<quint32> fresh = takeFree(m_fat, m_layout, from, extra);
    if (fresh.size() < extra)
        return failure(
            inImage(QStringLiteral("the file system is full: %1 needs %2 more bytes than the %3 free; "
                                   "nothing was written")
                        .arg(path.toString())
                        .arg((extra - fresh.size()) * clusterBytes)
                        .arg(qint64(fresh.size()) * clusterBytes)));
    FatTable fat = m_fat;
    std::vector<quint32> chain = oldChain;
    auto next = fresh.begin();
    const quint32 folderCluster = folderGrows ? *next++ : 0;
    if (needed < chain.size()) {
        for (size_t i = size_t(needed); i < chain.size(); ++i)
            fat.set(chain[i], FatTable::kFree);
        chain.resize(size_t(needed));
    }
    while (chain.size() < needed) {
        if (!chain.empty())
            fat.set(chain.back(), *next);
        chain.push_back(*next++);
    }
    if (!chain.empty())
        fat.set(chain.back(), fat.endMarker());
    if (folderGrows) {
        fat.set(m_nodes[found->parent].clusters.back(), folderCluster);
        fat.set(folderCluster, fat.endMarker());
        entryOffset = m_layout.clusterOffset(folderCluster);
    }

    WritePlan plan;
    // File data: a reused sector is written only when its bytes change; the slack after the end
    // of the content keeps what the sector held.
    const quint32 sector = m_layout.bytesPerSector;
    QByteArray old;
    if (!oldChain.empty()) {
        std::vector<quint32> reused(oldChain.begin(),
                                    oldChain.begin() + qsizetype(std::min<quint64>(needed, oldChain.size())));
        auto read = readRuns(reused, qint64(reused.size()) * clusterBytes);
        if (!read)
            return failure(read.reason());
        old = *read;
    }
    for (qint64 at = 0; at < content.size(); at += sector) {
        const qint64 index = at / clusterBytes;
        const qint64 offset = m_layout.clusterOffset(chain[size_t(index)]) + at % clusterBytes;
        const bool reused = at < old.size();
        QByteArray bytes = reused ? old.mid(at, sector) : QByteArray(sector, '\0');
        const qint64 length = std::min<qint64>(sector, content.size() - at);
        bytes.replace(0, length, content.sliced(at, length).toByteArray());
        if (!reused || bytes != QByteArrayView(old).sliced(at, sector))
            addWrite(plan, offset, bytes);
    }

    // The folder entry: size, first cluster, write date and time; attributes and long name stay.
    const quint32 start = chain.empty() ? 0 : chain.front();
    putLe32(entry, 28, quint32(content.size()));
    putLe16(entry, 26, quint16(start));
    if (m_layout.type == FatType::Fat32)
        putLe16(entry, 20, quint16(start >> 16));
    putLe16(entry, 22, fatentry::dosTime(written.toLocalTime()));
    putLe16(entry, 24, fatentry::dosDate(written.toLocalTime()));
    entry[11] = char(quint8(entry[11]) | fatentry::kArchive);
    if (folderGrows) {
        QByteArray cluster(clusterBytes, '\0');
        cluster.replace(0, fatentry::kSize, entry);
        addWrite(plan, entryOffset, cluster);
    }

    // Every changed sector of the FAT, in each copy kept in step.
    const QByteArray& before = m_fat.bytes();
    const QByteArray& after = fat.bytes();
    for (quint32 copy = 0; copy < m_layout.fatCount; ++copy) {
        if (!m_layout.mirrored && copy != m_layout.activeFat)
            continue;
        for (qsizetype at = 0; at < after.size(); at += sector)
            if (QByteArrayView(after).sliced(at, sector) != QByteArrayView(before).sliced(at, sector))
                addWrite(plan, m_layout.fatOffset(copy) + at, QByteArrayView(after).sliced(at, sector));
    }

    // The folder sectors holding the entry (and the end mark after a taken last slot).
    std::map<qint64, QByteArray> folderSectors;
    const auto patch = [&](qint64 offset, qsizetype length, const char* bytes) -> Result<void> {
        const qint64 base = offset - offset % sector;
        auto it = folderSectors.find(base);
        if (it == folderSectors.end()) {
            auto read = m_device->read(base, sector);
            if (!read)
                return failure(read.reason());
            it = folderSectors.emplace(base, *read).first;
        }
        it->second.replace(offset - base, length, bytes, length);
        return {};
    };
    if (!folderGrows)
        if (auto patched = patch(entryOffset, fatentry::kSize, entry.constData()); !patched)
            return failure(patched.reason());
    if (endMarkOffset >= 0)
        if (auto patched = patch(endMarkOffset, 1, "\0"); !patched)
            return failure(patched.reason());
    for (const auto& [offset, bytes] : folderSectors)
        addWrite(plan, offset, bytes);

    // FSInfo: the free count and where the next search for a free cluster starts.
    if (m_hasFsInfo) {
        const qint64 offset = qint64(m_layout.fsInfoSector) * sector;
        auto info = m_device->read(offset, sector);
        if (!info)
            return failure(info.reason());
        QByteArray updated = *info;
        putLe32(updated, 488, fat.freeCount());
        if (!fresh.empty())
            putLe32(updated, 492, fresh.back());
        if (updated != *info)
            addWrite(plan, offset, updated);
    }
    return plan;
}

Result<void> FatVolume::replaceFile(QStringView path, QByteArrayView content, const QDateTime& written)
{
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
