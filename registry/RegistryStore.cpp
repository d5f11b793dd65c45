#include "registry/RegistryStore.h"

#include "files/AtomicFile.h"
#include "files/HostFile.h"
#include "machine/Backups.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

using regfile::Block;
using regfile::ValueLine;

// Replaces text[start, end) with bytes. Blocks [firstBlock, firstBlock + blockCount) of the old
// layout are the ones the change falls into; they are read again from the new text, starting at
// parseFrom. With preambleGrows, the bytes before parseFrom belong to the header part.
struct RegistryStore::Edit {
    qsizetype start = 0;
    qsizetype end = 0;
    QByteArray bytes;
    int firstBlock = 0;
    int blockCount = 0;
    qsizetype parseFrom = 0;
    bool preambleGrows = false;
};

namespace {

// A registry file beyond this is taken for damage rather than read into memory.
constexpr qint64 kMaxFileSize = qint64(256) << 20;

constexpr qsizetype kRoomForEdits = 64 * 1024;

// True when the text before pos ends with an empty line.
bool endsWithBlankLine(QByteArrayView before)
{
    if (!before.endsWith('\n'))
        return false;
    before.chop(1);
    if (before.endsWith('\r'))
        before.chop(1);
    return before.isEmpty() || before.endsWith('\n');
}

// Puts fresh in the place of list[at, at + count), moving the entries after them only when the
// number changes.
template <typename T>
void spliceInto(std::vector<T>& list, size_t at, size_t count, const std::vector<T>& fresh)
{
    const size_t common = std::min(count, fresh.size());
    std::copy_n(fresh.begin(), common, list.begin() + qsizetype(at));
    const auto tail = list.begin() + qsizetype(at + common);
    if (fresh.size() > count)
        list.insert(tail, fresh.begin() + qsizetype(common), fresh.end());
    else
        list.erase(tail, tail + qsizetype(count - common));
}

// Replaces text[start, end) with bytes where they stand: the bytes after them move once, and
// only when the length changes.
void replaceInPlace(QByteArray& text, qsizetype start, qsizetype end, QByteArrayView bytes)
{
    const qsizetype oldSize = text.size();
    const qsizetype delta = bytes.size() - (end - start);
    if (delta > 0)
        text.resize(oldSize + delta);
    char* data = text.data();
    if (delta != 0)
        std::memmove(data + end + delta, data + end, size_t(oldSize - end));
    if (!bytes.isEmpty())
        std::memcpy(data + start, bytes.data(), size_t(bytes.size()));
    if (delta < 0)
        text.truncate(oldSize + delta);
}

// The length of the part both begin with, eight bytes at a time.
qsizetype commonPrefix(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y)
            return i + std::countr_zero(x ^ y) / 8;
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// Copies bytes into out, keeping its buffer when it is large enough.
void copyInto(QByteArray& out, QByteArrayView bytes)
{
    out.resize(bytes.size());
    if (!bytes.isEmpty())
        std::memcpy(out.data(), bytes.data(), size_t(bytes.size()));
}

} // namespace

RegistryStore::RegistryStore(QString filePath)
    : m_path(std::move(filePath)), m_lock(m_path + QStringLiteral(".lock")), m_watch(m_path)
{
    clear();
    // What interrupted writes left behind goes, unless a writer is at work (it sweeps itself).
    if (const Result<QString> target = writeTarget(m_path, QFileInfo(m_path).absolutePath());
        target && m_lock.tryLock()) {
        removeStaleTemporaries(*target);
        m_lock.unlock();
    }
}

RegistryStore::~RegistryStore()
{
    if (m_folder >= 0)
        ::close(m_folder);
}

QString RegistryStore::fileName() const
{
    return shownInMessage(QFileInfo(m_path).fileName());
}

// Looks the name up in a folder kept open rather than walking the whole path each time.
RegistryStore::Identity RegistryStore::identity() const
{
    if (m_folder < 0) {
        const QFileInfo info(m_path);
        m_folder =
            ::open(QFile::encodeName(info.absolutePath()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        m_leafName = QFile::encodeName(info.fileName());
    }
    Identity id;
    struct stat st {};
    const int result = m_folder >= 0 ? ::fstatat(m_folder, m_leafName.constData(), &st, 0)
                                     : ::stat(QFile::encodeName(m_path).constData(), &st);
    if (result != 0) {
        id.error = errno;
        return id;
    }
    return FileIdentity::of(st);
}

void RegistryStore::refresh()
{
    if (m_watch.changedSince(m_loaded, [this] { return identity(); }))
        load();
}

void RegistryStore::clear()
{
    m_text.clear();
    m_layout = regfile::Layout{};
    m_index.clear();
    m_keys.clear();
    m_names.clear();
    m_damage.clear();
    m_keys.push_back(Key{});
    m_trail.clear();
    m_trailPath.clear();
    m_foundKey = -1;
}

void RegistryStore::load()
{
    clear();
    // With room for the lines writes add, so the text is edited where it stands rather than moved.
    Result<HostFileContents> read = readHostFileIfPresent(
        m_path, HostFileRules{kMaxFileSize, QFileInfo(m_path).absolutePath(), kRoomForEdits});
    if (!read) {
        m_loaded = identity();
        m_damage = QStringLiteral("%1 cannot be read: %2").arg(fileName(), read.reason());
        return;
    }
    m_loaded = read->identity;
    if (!read->bytes.isPresent()) // a missing file is an empty registry
        return;
    m_text = std::move(read->bytes.value);
    // Room for the keys of a regedit export of this size, so the index seldom grows.
    m_keys.reserve(size_t(m_text.size() / 400) + 16);
    m_index.reserve(qsizetype(m_keys.capacity()));
    if (const Result<void> parsed =
            regfile::parseText(m_text, m_layout, [this](size_t block) { indexBlock(int(block)); });
        !parsed) {
        // Served as empty: the keys met before the damage are dropped too.
        const QString damage =
            QStringLiteral("%1 line %2: %3").arg(fileName()).arg(parsed.line()).arg(parsed.reason());
        clear();
        m_damage = damage;
        return;
    }
    auto& values = m_layout.values;
    if (values.capacity() > values.size() + values.size() / 4)
        values.shrink_to_fit();
    relink();
}

int RegistryStore::findKey(QByteArrayView foldedPath) const
{
    // Keys only come and go all together (a reload), so a path found stays found.
    if (m_foundKey >= 0 && foldedPath == QByteArrayView(m_foundPath))
        return m_foundKey;
    qsizetype matched = 0;
    const int key = deepestKey(foldedPath, matched);
    if (matched != foldedPath.size())
        return -1;
    copyInto(m_foundPath, foldedPath);
    m_foundKey = key;
    return key;
}

// The deepest key along the path that exists; matched receives the length of its path.
int RegistryStore::deepestKey(QByteArrayView foldedPath, qsizetype& matched) const
{
    int key = kRootKey;
    matched = 0;
    for (qsizetype from = 0; from < foldedPath.size();) {
        qsizetype cut = foldedPath.indexOf('\\', from);
        if (cut < 0)
            cut = foldedPath.size();
        const auto it = m_index.constFind(KeyName{key, foldedPath.sliced(from, cut - from)});
        if (it == m_index.cend())
            break;
        key = it.value();
        matched = cut;
        from = cut + 1;
    }
    return key;
}

QByteArray RegistryStore::keyPath(int key) const
{
    qsizetype size = -1;
    for (int k = key; k != kRootKey; k = m_keys[size_t(k)].parent)
        size += m_keys[size_t(k)].name.size() + 1;
    QByteArray path(std::max<qsizetype>(size, 0), Qt::Uninitialized);
    qsizetype at = path.size();
    for (int k = key; k != kRootKey; k = m_keys[size_t(k)].parent) {
        const QByteArrayView name = m_keys[size_t(k)].name;
        at -= name.size();
        std::memcpy(path.data() + at, name.data(), size_t(name.size()));
        if (at > 0)
            path[--at] = '\\';
    }
    return path;
}

// True when key lies below ancestor; every key lies within the root.
bool RegistryStore::liesWithin(int key, int ancestor) const
{
    if (ancestor == kRootKey)
        return true;
    for (int k = m_keys[size_t(key)].parent; k >= 0; k = m_keys[size_t(k)].parent)
        if (k == ancestor)
            return true;
    return false;
}

// The key of a normalised path, added with every missing key above it. display is the path as
// spelled, at the same offsets as folded. Files list subkeys after their key, so a block's path
// mostly repeats all but the last name of the one before: the keys along that path are kept, and
// only the names after the part both share are looked up.
int RegistryStore::ensureKey(QByteArrayView display, QByteArrayView folded)
{
    const qsizetype common = commonPrefix(folded, m_trailPath);
    size_t shared = 0;
    while (shared < m_trail.size() && m_trail[shared].end <= common &&
           (m_trail[shared].end == folded.size() || folded[m_trail[shared].end] == '\\'))
        ++shared;
    m_trail.resize(shared);
    int key = shared ? m_trail.back().key : kRootKey;
    for (qsizetype from = shared ? m_trail.back().end + 1 : 0; from < folded.size();) {
        qsizetype cut = folded.indexOf('\\', from);
        if (cut < 0)
            cut = folded.size();
        // One look-up finds the key or makes its slot. The root is no one's child, so a slot
        // that holds it is new; the name kept for it goes back when the key was there already.
        const QByteArrayView name = m_names.keep(folded.sliced(from, cut - from));
        int& slot = m_index[KeyName{key, name}];
        if (slot != kRootKey) {
            m_names.giveBack(name);
            key = slot;
        } else {
            slot = int(m_keys.size());
            m_keys.push_back(Key{m_names.keep(display.sliced(from, cut - from)), key, -1});
            key = slot;
        }
        m_trail.push_back(TrailStep{quint32(cut), key});
        from = cut + 1;
    }
    copyInto(m_trailPath, folded);
    return key;
}

// Gives a served block its key.
void RegistryStore::indexBlock(int index)
{
    Block& block = m_layout.blocks[size_t(index)];
    if (!block.localMachine)
        return;
    const QByteArrayView path = block.localPath(m_text);
    if (const auto display = regfile::foldPath(path, m_folded)) {
        block.key = ensureKey(*display, m_folded);
    } else {
        regfile::normalisePath(path, m_display, m_folded);
        block.key = ensureKey(m_display, m_folded);
    }
}

// Chains the blocks of each key, last to first.
void RegistryStore::relink()
{
    for (Key& key : m_keys)
        key.lastBlock = -1;
    auto& blocks = m_layout.blocks;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].key < 0)
            continue;
        Key& key = m_keys[size_t(blocks[i].key)];
        blocks[i].previousOfKey = key.lastBlock;
        key.lastBlock = int(i);
    }
}

QByteArrayView RegistryStore::textOf(const Block& block) const
{
    return QByteArrayView(m_text).sliced(block.start, block.length);
}

// The value line of that name in the key; the last one when the file holds it twice, as an
// import would leave it.
std::optional<RegistryStore::Found> RegistryStore::findValue(int key, QByteArrayView name) const
{
    for (int b = m_keys[size_t(key)].lastBlock; b >= 0; b = m_layout.blocks[size_t(b)].previousOfKey) {
        const Block& block = m_layout.blocks[size_t(b)];
        const auto values = m_layout.valuesOf(block);
        for (auto v = values.rbegin(); v != values.rend(); ++v)
            if (regfile::valueNameEquals(textOf(block), *v, name))
                return Found{b, &*v};
    }
    return std::nullopt;
}

bool RegistryStore::readValue(int key, QByteArrayView name, quint32& type, QByteArray& data) const
{
    const auto found = findValue(key, name);
    return found &&
           regfile::decodeData(textOf(m_layout.blocks[size_t(found->block)]), *found->line, type, data);
}

// Makes the edit under the lock, again on the new contents when another program changed the file
// meanwhile.
Result<RegistryStore::Edited> RegistryStore::write(const std::function<Result<Edited>()>& edit)
{
    Edited outcome = Edited::Done;
    const Result<void> written = guardedWrite(m_path, WriteGuard{QFileInfo(m_path).absolutePath(), &m_lock},
                                              [&](const QString& target) -> Result<Attempt> {
                                                  m_target = target;
                                                  if (const Result<void> ready = prepareWrite(); !ready)
                                                      return failure(ready.reason());
                                                  const Result<Edited> edited = edit();
                                                  if (!edited)
                                                      return failure(edited.reason());
                                                  if (*edited == Edited::FileChanged) {
                                                      load();
                                                      return Attempt::FileChanged;
                                                  }
                                                  outcome = *edited;
                                                  return Attempt::Done;
                                              });
    if (!written)
        return failure(written.reason());
    return outcome;
}

// Re-reads a changed file; fails when it may not be written.
Result<void> RegistryStore::prepareWrite()
{
    refresh();
    if (isDamaged())
        return failure(m_damage);
    return {};
}

Result<Written> RegistryStore::setValue(QByteArrayView foldedKeyPath, QByteArrayView name, quint32 type,
                                        QByteArrayView data)
{
    const Result<Edited> edited = write([&] { return setValueInText(foldedKeyPath, name, type, data); });
    if (!edited)
        return failure(edited.reason());
    return *edited == Edited::KeyGone ? Written::KeyGone : Written::Done;
}

Result<RegistryStore::Edited> RegistryStore::setValueInText(QByteArrayView foldedKeyPath, QByteArrayView name,
                                                            quint32 type, QByteArrayView data)
{
    const int key = findKey(foldedKeyPath);
    if (key < 0)
        return Edited::KeyGone;
    const QByteArrayView lineBreak = m_layout.lineBreak;

    if (const auto found = findValue(key, name)) {
        const Block& block = m_layout.blocks[size_t(found->block)];
        const ValueLine& v = *found->line;
        quint32 oldType = 0;
        QByteArray oldData;
        if (regfile::decodeData(textOf(block), v, oldType, oldData) && oldType == type && oldData == data)
            return Edited::Done;
        // The name as written stays; only the data after "=" is written anew.
        Edit edit;
        edit.start = block.start + v.dataStart;
        edit.end = block.start + v.lineStart + v.lineLength - v.breakLength;
        edit.bytes = regfile::formatData(type, data, v.dataStart - v.lineStart, lineBreak);
        edit.firstBlock = found->block;
        edit.blockCount = 1;
        edit.parseFrom = block.start;
        return commit(edit);
    }

    QByteArray line = regfile::formatNamePrefix(name);
    line += regfile::formatData(type, data, line.size(), lineBreak);
    line += lineBreak;
    const int last = m_keys[size_t(key)].lastBlock;
    if (last < 0)
        return insertKeyBlocks({keyPath(key)}, line);

    // After the last value of the key's last block.
    const Block& block = m_layout.blocks[size_t(last)];
    const auto values = m_layout.valuesOf(block);
    const qsizetype at = values.empty() ? block.start + block.keyLineLength
                                        : block.start + values.back().lineStart + values.back().lineLength;
    if (m_text[at - 1] != '\n') // the last line of the file had no line break
        line.prepend(lineBreak.toByteArray());
    Edit edit;
    edit.start = edit.end = at;
    edit.bytes = line;
    edit.firstBlock = last;
    edit.blockCount = 1;
    edit.parseFrom = block.start;
    return commit(edit);
}

Result<void> RegistryStore::createKey(QByteArrayView path)
{
    QByteArray display, folded;
    regfile::normalisePath(path, display, folded);
    const Result<Edited> edited = write([&] { return createKeyInText(display, folded); });
    if (!edited)
        return failure(edited.reason());
    return {};
}

Result<RegistryStore::Edited> RegistryStore::createKeyInText(const QByteArray& display,
                                                             const QByteArray& folded)
{
    qsizetype matched = 0;
    const int existing = deepestKey(folded, matched);
    if (matched == folded.size())
        return Edited::Done;

    // The deepest key that exists keeps its spelling; the missing ones below it take the
    // spelling given.
    QByteArray base = keyPath(existing);
    std::vector<QByteArray> missing;
    const QList<QByteArray> parts = display.mid(matched == 0 ? 0 : matched + 1).split('\\');
    for (const QByteArray& part : parts) {
        base = base.isEmpty() ? part : base + '\\' + part;
        missing.push_back(base);
    }
    return insertKeyBlocks(missing, QByteArray());
}

// Adds a block for each of the keys (parents first), the value line in the last one. They go
// where regedit would list them: before the blocks of their subkeys, or else after the last
// block below their parent.
Result<RegistryStore::Edited> RegistryStore::insertKeyBlocks(const std::vector<QByteArray>& paths,
                                                             const QByteArray& valueLine)
{
    const QByteArrayView lineBreak = m_layout.lineBreak;
    QByteArray display, folded;
    regfile::normalisePath(paths.front(), display, folded);
    // The first key exists already (above the blocks of its subkeys), or else its parent does.
    qsizetype matched = 0;
    const int deepest = deepestKey(folded, matched);
    const int first = matched == folded.size() ? deepest : -1;
    const int parent = first >= 0 ? m_keys[size_t(first)].parent : deepest;
    const auto& blocks = m_layout.blocks;
    const int count = int(blocks.size());

    int index = -1;
    for (int i = 0; first >= 0 && i < count && index < 0; ++i)
        if (blocks[size_t(i)].key >= 0 && liesWithin(blocks[size_t(i)].key, first))
            index = i;
    if (index < 0 && parent >= 0) {
        for (int i = count - 1; i >= 0 && index < 0; --i) {
            const int key = blocks[size_t(i)].key;
            if (key >= 0 && (key == parent || liesWithin(key, parent)))
                index = i + 1;
        }
    }
    if (index < 0)
        index = count;

    Edit edit;
    const qsizetype at = index < count ? blocks[size_t(index)].start : m_text.size();
    if (m_text.isEmpty()) {
        edit.bytes = regfile::kHeader.toByteArray();
        edit.bytes += lineBreak;
        edit.bytes += lineBreak;
    } else {
        if (m_text[at - 1] != '\n')
            edit.bytes += lineBreak;
        const qsizetype context = std::min<qsizetype>(at, 8);
        if (!endsWithBlankLine(m_text.mid(at - context, context) + edit.bytes))
            edit.bytes += lineBreak;
    }
    const qsizetype separator = edit.bytes.size();
    for (size_t i = 0; i < paths.size(); ++i) {
        edit.bytes += regfile::formatKeyLine(paths[i], lineBreak);
        if (i + 1 == paths.size())
            edit.bytes += valueLine;
        edit.bytes += lineBreak;
    }
    edit.start = edit.end = at;
    if (index > 0) {
        // The separating line break belongs to the block before.
        edit.firstBlock = index - 1;
        edit.blockCount = 1;
        edit.parseFrom = blocks[size_t(index - 1)].start;
    } else {
        edit.firstBlock = 0;
        edit.blockCount = 0;
        edit.parseFrom = at + separator;
        edit.preambleGrows = true;
    }
    return commit(edit);
}

Result<RegistryStore::Edited> RegistryStore::commit(const Edit& edit)
{
    auto& blocks = m_layout.blocks;
    // The text is edited in place; what the edit replaced is kept to put back if it fails.
    const qsizetype delta = edit.bytes.size() - (edit.end - edit.start);
    const QByteArray replaced = m_text.sliced(edit.start, edit.end - edit.start);
    replaceInPlace(m_text, edit.start, edit.end, edit.bytes);
    const auto undo = [&] { replaceInPlace(m_text, edit.start, edit.start + edit.bytes.size(), replaced); };

    const qsizetype oldRegionEnd = edit.blockCount > 0
                                       ? blocks[size_t(edit.firstBlock + edit.blockCount - 1)].start +
                                             blocks[size_t(edit.firstBlock + edit.blockCount - 1)].length
                                       : edit.end;
    std::vector<Block> fresh;
    std::vector<ValueLine> freshValues;
    if (const Result<void> parsed =
            regfile::parseBlocks(m_text, edit.parseFrom, oldRegionEnd + delta, fresh, freshValues);
        !parsed) {
        undo();
        return failure(
            QStringLiteral("the change to %1 could not be formed (%2)").arg(fileName(), parsed.reason()));
    }
    if (const Result<void> kept = m_backups ? m_backups->beforeChange(m_target) : Result<void>(); !kept) {
        undo();
        return failure(kept.reason());
    }
    // The watch also sees a write in place within one tick of the clock, which the file's identity
    // may not show.
    const bool seen = m_watch.look() == FileChangeWatch::Seen::Change;
    const Result<Replacement> written =
        seen ? Replacement{Attempt::FileChanged} : replaceFileIfUnchanged(m_target, m_text, m_loaded);
    if (!written || written->outcome == Attempt::FileChanged) {
        undo();
        if (!written)
            return failure(written.reason());
        return Edited::FileChanged;
    }
    if (m_backups)
        (void)m_backups->afterChange(m_target, m_text); // the change stands; only its digest is missing

    m_loaded = written->identity;
    m_watch.ownWrite();

    // The changed blocks and their value lines are replaced by their new reading; the blocks
    // after them move by delta bytes.
    auto& values = m_layout.values;
    const int first = edit.firstBlock;
    const int oldEnd = first + edit.blockCount;
    const auto valuesFrom =
        first < int(blocks.size()) ? blocks[size_t(first)].firstValue : quint32(values.size());
    quint32 oldValueCount = 0;
    std::vector<int> oldKeys;
    for (int i = first; i < oldEnd; ++i) {
        oldValueCount += blocks[size_t(i)].valueCount;
        oldKeys.push_back(blocks[size_t(i)].key);
    }
    const auto valueShift = qint64(freshValues.size()) - qint64(oldValueCount);
    if (delta != 0 || valueShift != 0) {
        for (size_t i = size_t(oldEnd); i < blocks.size(); ++i) {
            blocks[i].start += delta;
            blocks[i].firstValue = quint32(qint64(blocks[i].firstValue) + valueShift);
        }
    }
    for (Block& block : fresh)
        block.firstValue += valuesFrom;
    // A block read again keeps its place in its key's chain when it is still the same key's.
    for (size_t i = 0; i < fresh.size() && i < oldKeys.size(); ++i)
        fresh[i].previousOfKey = blocks[size_t(first) + i].previousOfKey;
    spliceInto(values, valuesFrom, oldValueCount, freshValues);
    spliceInto(blocks, size_t(first), size_t(edit.blockCount), fresh);
    if (edit.preambleGrows)
        m_layout.preambleEnd = edit.parseFrom;
    bool sameKeys = fresh.size() == oldKeys.size();
    for (int i = first; i < first + int(fresh.size()); ++i) {
        indexBlock(i);
        sameKeys = sameKeys && blocks[size_t(i)].key == oldKeys[size_t(i - first)];
    }
    if (!sameKeys)
        relink();
    return Edited::Done;
}

qsizetype RegistryStore::memoryUsage() const
{
    qsizetype bytes = m_text.capacity() + qsizetype(sizeof(*this)) + m_names.bytesHeld();
    bytes += qsizetype(m_layout.blocks.capacity() * sizeof(Block));
    bytes += qsizetype(m_layout.values.capacity() * sizeof(ValueLine));
    bytes += qsizetype(m_keys.capacity() * sizeof(Key));
    // QHash keeps a node (key and value) per entry in spans of 128 slots with a byte each.
    bytes += m_index.capacity() * qsizetype(sizeof(KeyName) + sizeof(int) + 4 + 1);
    bytes += m_trailPath.capacity() + qsizetype(m_trail.capacity() * sizeof(TrailStep));
    return bytes;
}

} // namespace velmora
