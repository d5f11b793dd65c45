#include "fat/FatVolume.h"

#include "fat/FatNames.h"
#include "fat/LittleEndian.h"

#include <QHash>

#include <algorithm>

namespace velmora {

namespace {

constexpr quint32 kFsInfoLead = 0x41615252, kFsInfoStruct = 0x61417272, kFsInfoTrail = 0xAA550000;

} // namespace

Result<FatVolume> FatVolume::open(BlockDevice& device)
{
    FatVolume volume(device);
    if (auto loaded = volume.load(); !loaded)
        return failure(loaded.reason());
    return volume;
}

Result<void> FatVolume::reload()
{
    return load();
}

Result<void> FatVolume::checkVolume()
{
    if (auto loaded = load(); !loaded)
        return loaded;
    if (!m_damage.isEmpty())
        return failure(m_damage);
    return {};
}

QString FatVolume::inImage(const QString& what) const
{
    return QStringLiteral("%1: %2").arg(m_device->name(), what);
}

Result<void> FatVolume::load()
{
    Result<void> loaded = readVolume();
    if (!loaded)
        m_nodes.clear(); // a volume read in part answers nothing and plans nothing
    return loaded;
}

Result<void> FatVolume::readVolume()
{
    m_nodes.clear();
    m_owner.clear();
    m_damage.clear();
    if (m_device->size() < 512)
        return failure(inImage(QStringLiteral("the volume is too small to hold a boot sector")));
    auto boot = m_device->read(0, 512);
    if (!boot)
        return failure(boot.reason());
    auto layout = FatLayout::parse(*boot, m_device->size());
    if (!layout)
        return failure(inImage(layout.reason()));
    m_layout = *layout;
    if (auto fat = loadFat(); !fat)
        return fat;
    return walkFolders();
}

Result<void> FatVolume::loadFat()
{
    auto active = m_device->read(m_layout.fatOffset(m_layout.activeFat), m_layout.fatBytes());
    if (!active)
        return failure(active.reason());
    m_fat = FatTable(m_layout.type, m_layout.clusterCount, *active);
    for (quint32 copy = 1; m_layout.mirrored && copy < m_layout.fatCount; ++copy) {
        auto other = m_device->read(m_layout.fatOffset(copy), m_layout.fatBytes());
        if (!other)
            return failure(other.reason());
        if (*other != m_fat.bytes() && m_damage.isEmpty())
            m_damage = inImage(
                QStringLiteral("the file system is damaged: copy %1 of the FAT differs from the first")
                    .arg(copy + 1));
    }
    m_hasFsInfo = false;
    if (m_layout.fsInfoSector != 0) {
        auto info = m_device->read(qint64(m_layout.fsInfoSector) * m_layout.bytesPerSector, 512);
        if (!info)
            return failure(info.reason());
        m_hasFsInfo = le32(*info, 0) == kFsInfoLead && le32(*info, 484) == kFsInfoStruct &&
                      le32(*info, 508) == kFsInfoTrail;
        m_fsInfoFree = le32(*info, 488);
        m_fsInfoNext = le32(*info, 492);
    }
    return {};
}

void FatVolume::noteDamage(int node, const QString& reason)
{
    if (m_nodes[node].damage.isEmpty())
        m_nodes[node].damage = reason;
    if (m_damage.isEmpty())
        m_damage = inImage(QStringLiteral("the file system is damaged: %1: %2").arg(pathOf(node), reason));
}

void FatVolume::claimChain(int node, quint32 start)
{
    const bool folder = m_nodes[node].isDirectory();
    const quint64 limit =
        folder ? kMaxFolderEntries * 32 / m_layout.clusterBytes()
               : (quint64(m_nodes[node].size) + m_layout.clusterBytes() - 1) / m_layout.clusterBytes();
    std::vector<quint32>& chain = m_nodes[node].clusters;
    for (quint32 cluster = start;;) {
        if (!m_layout.isCluster(cluster))
            return noteDamage(
                node, QStringLiteral("its chain reaches cluster %1, outside the volume").arg(cluster));
        const quint32 owner = m_owner[cluster];
        if (owner == quint32(node) + 1)
            return noteDamage(node, QStringLiteral("its chain loops back to cluster %1").arg(cluster));
        if (owner != 0) {
            noteDamage(int(owner - 1),
                       QStringLiteral("its cluster %1 also belongs to %2").arg(cluster).arg(pathOf(node)));
            return noteDamage(
                node,
                QStringLiteral("its cluster %1 also belongs to %2").arg(cluster).arg(pathOf(int(owner - 1))));
        }
        if (chain.size() >= limit) {
            return noteDamage(
                node, folder ? QStringLiteral("the folder holds more than %1 entries").arg(kMaxFolderEntries)
                             : QStringLiteral("its chain is longer than its size of %1 bytes needs")
                                   .arg(m_nodes[node].size));
        }
        m_owner[cluster] = quint32(node) + 1;
        chain.push_back(cluster);
        const quint32 next = m_fat.next(cluster);
        if (m_fat.isEnd(next))
            break;
        if (next == FatTable::kFree)
            return noteDamage(
                node, QStringLiteral("its chain breaks after cluster %1, whose entry is free").arg(cluster));
        if (m_fat.isBad(next))
            return noteDamage(
                node, QStringLiteral("its chain runs into a bad cluster after cluster %1").arg(cluster));
        cluster = next;
    }
    if (!folder && chain.size() < limit)
        noteDamage(node, QStringLiteral("its chain of %1 clusters is shorter than its size of %2 bytes needs")
                             .arg(chain.size())
                             .arg(m_nodes[node].size));
}

FatVolume::Extents FatVolume::folderExtents(int node) const
{
    if (node == 0 && m_layout.type != FatType::Fat32)
        return {{m_layout.rootOffset(), m_layout.rootBytes()}};
    Extents extents;
    for (quint32 cluster : m_nodes[node].clusters)
        extents.emplace_back(m_layout.clusterOffset(cluster), m_layout.clusterBytes());
    return extents;
}

qint64 FatVolume::offsetIn(const Extents& extents, qint64 at)
{
    for (const auto& [offset, length] : extents) {
        if (at < length)
            return offset + at;
        at -= length;
    }
    return -1;
}

Result<QByteArray> FatVolume::readRuns(const std::vector<quint32>& clusters, qint64 bytes)
{
    QByteArray out;
    out.reserve(qsizetype(std::min<qint64>(bytes, qint64(clusters.size()) * m_layout.clusterBytes())));
    constexpr size_t kRunLimit = 256; // clusters in one read
    for (size_t i = 0; i < clusters.size() && out.size() < bytes;) {
        size_t run = 1;
        while (i + run < clusters.size() && run < kRunLimit && clusters[i + run] == clusters[i] + run)
            ++run;
        auto part =
            m_device->read(m_layout.clusterOffset(clusters[i]), qint64(run) * m_layout.clusterBytes());
        if (!part)
            return failure(part.reason());
        out += *part;
        i += run;
    }
    out.truncate(qsizetype(std::min<qint64>(bytes, out.size())));
    return out;
}

Result<QByteArray> FatVolume::readFolder(int node)
{
    if (node == 0 && m_layout.type != FatType::Fat32)
        return m_device->read(m_layout.rootOffset(), m_layout.rootBytes());
    return readRuns(m_nodes[node].clusters, qint64(m_nodes[node].clusters.size()) * m_layout.clusterBytes());
}

Result<void> FatVolume::walkFolders()
{
    m_owner.assign(size_t(m_layout.clusterCount) + 2, 0);
    m_nodes.emplace_back();
    m_nodes[0].attributes = fatentry::kDirectory;
    if (m_layout.type == FatType::Fat32)
        claimChain(0, m_layout.rootCluster);

    std::vector<std::pair<int, int>> pending{{0, 0}}; // folder, depth
    while (!pending.empty()) {
        const auto [folder, depth] = pending.back();
        pending.pop_back();
        auto bytes = readFolder(folder);
        if (!bytes)
            return failure(bytes.reason());
        const auto extents = folderExtents(folder);
        fatentry::LongNameReader longName;
        QHash<QString, int> names; // case-folded short and long names -> their node
        const qsizetype slotCount = bytes->size() / fatentry::kSize;
        for (qsizetype slot = 0; slot < slotCount; ++slot) {
            const QByteArrayView e = QByteArrayView(*bytes).sliced(slot * fatentry::kSize, fatentry::kSize);
            const quint8 first = quint8(e[0]);
            if (first == fatentry::kEndOfFolder)
                break;
            if (first == fatentry::kDeleted) {
                longName.reset();
                continue;
            }
            const quint8 attributes = quint8(e[11]);
            if ((attributes & 0x3F) == fatentry::kLongName) {
                longName.feed(e);
                continue;
            }
            const QByteArrayView raw11 = e.first(11);
            const QString lfn = longName.take(raw11);
            if (attributes & fatentry::kVolumeLabel)
                continue;
            if (raw11 == QByteArrayView(".          ") || raw11 == QByteArrayView("..         "))
                continue;
            if (qsizetype(m_nodes.size()) >= kMaxEntries) {
                noteDamage(folder, QStringLiteral("the volume holds more than %1 entries").arg(kMaxEntries));
                return {};
            }
            const int node = int(m_nodes.size());
            Node& n = m_nodes.emplace_back();
            n.parent = folder;
            n.raw = e.toByteArray();
            n.entryOffset = offsetIn(extents, slot * fatentry::kSize);
            n.shortName = fatentry::shortName(raw11);
            n.longName = lfn;
            n.attributes = attributes;
            n.size = n.isDirectory() ? 0 : le32(e, 28);
            m_nodes[folder].children.push_back(node);
            const quint32 start =
                le16(e, 26) | (m_layout.type == FatType::Fat32 ? quint32(le16(e, 20)) << 16 : 0);

            if (!fatentry::isValidShortName(raw11))
                noteDamage(node, QStringLiteral("its 8.3 name holds a character no name may hold"));
            // Two entries answering to one name make every lookup of it ambiguous: neither is trusted.
            // A long name that differs from the 8.3 name only in case ("Desktop") is one name.
            const QString shortKey = n.shortName.toCaseFolded(), longKey = n.longName.toCaseFolded();
            for (const QString& key : {shortKey, longKey == shortKey ? QString() : longKey}) {
                if (key.isEmpty())
                    continue;
                if (const int twin = names.value(key, -1); twin >= 0) {
                    noteDamage(twin, QStringLiteral("its folder holds a second entry of that name"));
                    noteDamage(node, QStringLiteral("its folder holds a second entry of that name"));
                }
                names.insert(key, node);
            }
            if (m_nodes[node].isDirectory()) {
                if (depth + 1 > kMaxDepth)
                    noteDamage(node, QStringLiteral("folders are nested more than %1 deep").arg(kMaxDepth));
                else if (start == 0)
                    noteDamage(node, QStringLiteral("the folder has no cluster"));
                else {
                    claimChain(node, start);
                    pending.emplace_back(node, depth + 1);
                }
            } else if (start == 0) {
                if (m_nodes[node].size != 0)
                    noteDamage(node,
                               QStringLiteral("it has no cluster for its %1 bytes").arg(m_nodes[node].size));
            } else if (m_nodes[node].size == 0) {
                noteDamage(node, QStringLiteral("it is empty but starts at cluster %1").arg(start));
            } else {
                claimChain(node, start);
            }
        }
    }
    return {};
}

QString FatVolume::pathOf(int node) const
{
    if (node == 0)
        return QStringLiteral("the root folder");
    QStringList parts;
    for (int n = node; n > 0; n = m_nodes[n].parent)
        parts.prepend(m_nodes[n].longName.isEmpty() ? m_nodes[n].shortName : m_nodes[n].longName);
    return parts.join(QLatin1Char('\\'));
}

FatFileInfo FatVolume::infoOf(int node) const
{
    const Node& n = m_nodes[node];
    FatFileInfo info;
    QStringList parts;
    for (int up = node; up > 0; up = m_nodes[up].parent)
        parts.prepend(m_nodes[up].shortName);
    info.path = parts.join(QLatin1Char('\\'));
    info.shortName = n.shortName;
    info.longName = n.longName;
    info.attributes = n.attributes;
    info.size = n.size;
    if (!n.raw.isEmpty())
        info.written = fatentry::fromDos(le16(n.raw, 24), le16(n.raw, 22));
    return info;
}

Result<FatVolume::Lookup> FatVolume::lookup(QStringView path) const
{
    if (m_nodes.empty())
        return failure(inImage(QStringLiteral("the file system could not be read")));
    std::vector<QStringView> parts;
    for (QStringView part : path.tokenize(u'\\'))
        for (QStringView piece : part.tokenize(u'/', Qt::SkipEmptyParts))
            parts.push_back(piece);
    for (QStringView part : parts)
        if (part == u"." || part == u"..")
            return failure(inImage(QStringLiteral("the path %1 is not plain").arg(path.toString())));
    Lookup found{0, -1, QStringView()};
    for (size_t i = 0; i < parts.size(); ++i) {
        const Node& folder = m_nodes[found.node];
        if (!folder.isDirectory())
            return failure(inImage(QStringLiteral("%1 is not a folder").arg(pathOf(found.node))));
        found.parent = found.node;
        found.name = parts[i];
        found.node = -1;
        for (int child : folder.children) {
            const Node& c = m_nodes[child];
            if (parts[i].compare(c.shortName, Qt::CaseInsensitive) == 0 ||
                (!c.longName.isEmpty() && parts[i].compare(c.longName, Qt::CaseInsensitive) == 0)) {
                found.node = child;
                break;
            }
        }
        if (found.node < 0 && i + 1 < parts.size())
            return failure(inImage(QStringLiteral("the folder %1 does not exist").arg(parts[i].toString())));
    }
    return found;
}

Result<FatFileInfo> FatVolume::stat(QStringView path) const
{
    auto found = lookup(path);
    if (!found)
        return failure(found.reason());
    if (found->node < 0)
        return failure(inImage(QStringLiteral("%1 does not exist").arg(path.toString())));
    return infoOf(found->node);
}

Result<Found<FatFileInfo>> FatVolume::find(QStringView path) const
{
    auto found = lookup(path);
    if (!found)
        return failure(found.reason());
    if (found->node < 0)
        return Found<FatFileInfo>::missing();
    return velmora::found(infoOf(found->node));
}

Result<std::vector<FatFileInfo>> FatVolume::list(QStringView folder) const
{
    auto found = lookup(folder);
    if (!found)
        return failure(found.reason());
    if (found->node < 0 || !m_nodes[found->node].isDirectory())
        return failure(inImage(QStringLiteral("the folder %1 does not exist").arg(folder.toString())));
    std::vector<FatFileInfo> entries;
    for (int child : m_nodes[found->node].children)
        entries.push_back(infoOf(child));
    return entries;
}

Result<QByteArray> FatVolume::readFile(QStringView path)
{
    auto found = lookup(path);
    if (!found)
        return failure(found.reason());
    if (found->node < 0)
        return failure(inImage(QStringLiteral("%1 does not exist").arg(path.toString())));
    const Node& n = m_nodes[found->node];
    if (n.isDirectory())
        return failure(inImage(QStringLiteral("%1 is a folder").arg(pathOf(found->node))));
    if (!n.damage.isEmpty())
        return failure(
            inImage(QStringLiteral("the file system is damaged: %1: %2").arg(pathOf(found->node), n.damage)));
    if (n.size > kMaxReadSize)
        return failure(inImage(
            QStringLiteral("%1 is too large to read (%2 bytes)").arg(pathOf(found->node)).arg(n.size)));
    return readRuns(n.clusters, n.size);
}

} // namespace velmora
