#include "platform/RegistryStore.h"

#include "platform/AtomicFile.h"
#include "platform/Backups.h"
#include "platform/Registry.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
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

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool readWholeFile(int fd, qsizetype sizeHint, QByteArray& out, int& error)
{
    // One byte more than expected, so the end of the file is seen without growing the buffer.
    out = QByteArray(sizeHint + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == out.size())
            out.resize(out.size() + 65536);
        const ssize_t n = ::read(fd, out.data() + filled, size_t(out.size() - filled));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        if (n == 0)
            break;
        filled += n;
    }
    out.truncate(filled);
    return true;
}

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

bool isWithin(QByteArrayView folded, QByteArrayView ancestor)
{
    if (ancestor.isEmpty())
        return true;
    return folded.size() > ancestor.size() && folded.startsWith(ancestor) && folded[ancestor.size()] == '\\';
}

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype cut = path.lastIndexOf('\\');
    return cut < 0 ? QByteArray() : path.left(cut);
}

} // namespace

RegistryStore::RegistryStore(QString filePath)
    : m_path(std::move(filePath)), m_lock(m_path + QStringLiteral(".lock")), m_watch(m_path)
{
    clear();
}

RegistryStore::~RegistryStore()
{
    if (m_folder >= 0)
        ::close(m_folder);
}

QString RegistryStore::fileName() const
{
    return QFileInfo(m_path).fileName();
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
    return identityOf(st);
}

RegistryStore::Identity RegistryStore::identityOf(const struct stat& st)
{
    Identity id;
    id.error = 0;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = quint64(st.st_size);
    id.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.changed = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

void RegistryStore::refresh()
{
    switch (m_watch.look()) {
    case FileChangeWatch::Seen::Nothing:
        return;
    case FileChangeWatch::Seen::Change:
        load();
        return;
    case FileChangeWatch::Seen::Unknown:
        if (identity() != m_loaded)
            load();
        return;
    }
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
    m_index.insert(QByteArray(), kRootKey);
    m_recentParent = -1;
}

void RegistryStore::load()
{
    clear();
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        m_loaded = Identity{};
        m_loaded.error = error;
        if (error != ENOENT)
            m_damage = QStringLiteral("%1 cannot be read: %2").arg(fileName(), systemReason(error));
        return;
    }
    struct stat st {};
    ::fstat(fd, &st);
    m_loaded = identityOf(st);

    int error = 0;
    const bool read = readWholeFile(fd, qsizetype(st.st_size), m_text, error);
    ::close(fd);
    if (!read) {
        m_text.clear();
        m_damage = QStringLiteral("%1 cannot be read: %2").arg(fileName(), systemReason(error));
        return;
    }
    // Room for the keys of a regedit export of this size, so the index seldom grows.
    m_keys.reserve(size_t(m_text.size() / 400) + 16);
    m_index.reserve(qsizetype(m_keys.capacity()));
    if (const auto problem =
            regfile::parseText(m_text, m_layout, [this](size_t block) { indexBlock(int(block)); })) {
        // Served as empty: the keys met before the damage are dropped too.
        const QString damage =
            QStringLiteral("%1 line %2: %3").arg(fileName()).arg(problem->line).arg(problem->what);
        clear();
        m_damage = damage;
        return;
    }
    auto& values = m_layout.values;
    if (values.capacity() > values.size() + values.size() / 4)
        values.shrink_to_fit();
    relink();
}

int RegistryStore::ensureKey(QByteArrayView display, QByteArrayView folded)
{
    if (const int key = findKey(folded); key >= 0)
        return key;
    return addKey(display, folded);
}

// A key that is not in the index yet, and the keys above it that are missing too.
int RegistryStore::addKey(QByteArrayView display, QByteArrayView folded)
{
    const qsizetype cut = std::max<qsizetype>(folded.lastIndexOf('\\'), 0);
    // Files list siblings together, so the parent is most often the one met last.
    if (m_recentParent < 0 || m_keys[size_t(m_recentParent)].folded != folded.first(cut))
        m_recentParent = ensureKey(display.first(cut), folded.first(cut));
    const int parent = m_recentParent;
    const int key = int(m_keys.size());
    const QByteArray kept = m_names.keep(folded);
    m_keys.push_back(Key{m_names.keep(display), kept, -1});
    m_index.insert(kept, key);
    m_recentParent = parent;
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
        block.key = findKey(m_folded);
        if (block.key < 0)
            block.key = addKey(*display, m_folded);
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

// Takes the lock and re-reads a changed file: ERROR_SUCCESS when the file may be written.
long RegistryStore::prepareWrite(const FileLockGuard& guard, QString& reason)
{
    if (!guard.ok())
        return ERROR_ACCESS_DENIED;
    refresh();
    if (isDamaged()) {
        reason = m_damage;
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

long RegistryStore::setValue(QByteArrayView foldedKeyPath, QByteArrayView name, quint32 type,
                             QByteArrayView data, QString& reason)
{
    FileLockGuard guard(m_lock, &reason);
    if (const long r = prepareWrite(guard, reason); r != ERROR_SUCCESS)
        return r;
    const int key = findKey(foldedKeyPath);
    if (key < 0) {
        reason = QStringLiteral("the key has been deleted");
        return ERROR_KEY_DELETED;
    }
    const QByteArrayView lineBreak = m_layout.lineBreak;

    if (const auto found = findValue(key, name)) {
        const Block& block = m_layout.blocks[size_t(found->block)];
        const ValueLine& v = *found->line;
        quint32 oldType = 0;
        QByteArray oldData;
        if (regfile::decodeData(textOf(block), v, oldType, oldData) && oldType == type && oldData == data)
            return ERROR_SUCCESS;
        // The name as written stays; only the data after "=" is written anew.
        Edit edit;
        edit.start = block.start + v.dataStart;
        edit.end = block.start + v.lineStart + v.lineLength - v.breakLength;
        edit.bytes = regfile::formatData(type, data, v.dataStart - v.lineStart, lineBreak);
        edit.firstBlock = found->block;
        edit.blockCount = 1;
        edit.parseFrom = block.start;
        return commit(edit, reason);
    }

    QByteArray line = regfile::formatNamePrefix(name);
    line += regfile::formatData(type, data, line.size(), lineBreak);
    line += lineBreak;
    const int last = m_keys[size_t(key)].lastBlock;
    if (last < 0)
        return insertKeyBlocks({keyPath(key)}, line, reason);

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
    return commit(edit, reason);
}

long RegistryStore::createKey(QByteArrayView path, QString& reason)
{
    QByteArray display, folded;
    regfile::normalisePath(path, display, folded);
    FileLockGuard guard(m_lock, &reason);
    if (const long r = prepareWrite(guard, reason); r != ERROR_SUCCESS)
        return r;
    if (findKey(folded) >= 0)
        return ERROR_SUCCESS;

    // The deepest key that exists keeps its spelling; the missing ones below it take the
    // spelling given.
    qsizetype cut = folded.size();
    int existing = -1;
    while (existing < 0) {
        cut = folded.lastIndexOf('\\', cut - 1);
        existing = cut < 0 ? kRootKey : findKey(folded.left(cut));
        if (cut < 0)
            break;
    }
    QByteArray base = cut < 0 ? QByteArray() : keyPath(existing);
    std::vector<QByteArray> missing;
    const QList<QByteArray> parts = display.mid(cut < 0 ? 0 : cut + 1).split('\\');
    for (const QByteArray& part : parts) {
        base = base.isEmpty() ? part : base + '\\' + part;
        missing.push_back(base);
    }
    return insertKeyBlocks(missing, QByteArray(), reason);
}

// Adds a block for each of the keys (parents first), the value line in the last one. They go
// where regedit would list them: before the blocks of their subkeys, or else after the last
// block below their parent.
long RegistryStore::insertKeyBlocks(const std::vector<QByteArray>& paths, const QByteArray& valueLine,
                                    QString& reason)
{
    const QByteArrayView lineBreak = m_layout.lineBreak;
    QByteArray display, folded;
    regfile::normalisePath(paths.front(), display, folded);
    const QByteArray parent = parentOf(folded);
    const auto& blocks = m_layout.blocks;
    const int count = int(blocks.size());

    int index = -1;
    for (int i = 0; i < count && index < 0; ++i)
        if (blocks[size_t(i)].key >= 0 && isWithin(m_keys[size_t(blocks[size_t(i)].key)].folded, folded))
            index = i;
    if (index < 0) {
        for (int i = count - 1; i >= 0 && index < 0; --i) {
            const int key = blocks[size_t(i)].key;
            if (key >= 0 && (m_keys[size_t(key)].folded == QByteArrayView(parent) ||
                             isWithin(m_keys[size_t(key)].folded, parent)))
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
    return commit(edit, reason);
}

long RegistryStore::commit(const Edit& edit, QString& reason)
{
    auto& blocks = m_layout.blocks;
    const qsizetype delta = edit.bytes.size() - (edit.end - edit.start);
    QByteArray text;
    text.reserve(m_text.size() + delta);
    text.append(QByteArrayView(m_text).first(edit.start));
    text.append(edit.bytes);
    text.append(QByteArrayView(m_text).sliced(edit.end));

    const qsizetype oldRegionEnd = edit.blockCount > 0
                                       ? blocks[size_t(edit.firstBlock + edit.blockCount - 1)].start +
                                             blocks[size_t(edit.firstBlock + edit.blockCount - 1)].length
                                       : edit.end;
    std::vector<Block> fresh;
    std::vector<ValueLine> freshValues;
    if (const auto problem =
            regfile::parseBlocks(text, edit.parseFrom, oldRegionEnd + delta, 1, fresh, freshValues)) {
        reason = QStringLiteral("the change to %1 could not be formed (%2)").arg(fileName(), problem->what);
        return ERROR_ACCESS_DENIED;
    }
    if (const Result<void> kept = m_backups ? m_backups->beforeChange(m_path) : Result<void>(); !kept) {
        reason = kept.reason();
        return ERROR_ACCESS_DENIED;
    }
    if (!writeFileAtomically(m_path, text, &reason))
        return ERROR_ACCESS_DENIED;
    if (m_backups)
        (void)m_backups->afterChange(m_path, text); // the change stands; only its digest is missing

    m_text = std::move(text);
    m_loaded = identity();
    m_watch.look(); // the events of this write are not news

    // The changed blocks and their value lines are replaced by their new reading; the blocks
    // after them move by delta bytes.
    auto& values = m_layout.values;
    const int first = edit.firstBlock;
    const int oldEnd = first + edit.blockCount;
    const auto valuesFrom =
        first < int(blocks.size()) ? blocks[size_t(first)].firstValue : quint32(values.size());
    quint32 oldValueCount = 0;
    for (int i = first; i < oldEnd; ++i)
        oldValueCount += blocks[size_t(i)].valueCount;
    const auto valueShift = qint64(freshValues.size()) - qint64(oldValueCount);
    for (size_t i = size_t(oldEnd); i < blocks.size(); ++i) {
        blocks[i].start += delta;
        blocks[i].firstValue = quint32(qint64(blocks[i].firstValue) + valueShift);
    }
    for (Block& block : fresh)
        block.firstValue += valuesFrom;
    values.erase(values.begin() + valuesFrom, values.begin() + valuesFrom + oldValueCount);
    values.insert(values.begin() + valuesFrom, freshValues.begin(), freshValues.end());
    blocks.erase(blocks.begin() + first, blocks.begin() + oldEnd);
    blocks.insert(blocks.begin() + first, fresh.begin(), fresh.end());
    if (edit.preambleGrows)
        m_layout.preambleEnd = edit.parseFrom;
    for (int i = first; i < first + int(fresh.size()); ++i)
        indexBlock(i);
    relink();
    return ERROR_SUCCESS;
}

qsizetype RegistryStore::memoryUsage() const
{
    qsizetype bytes = m_text.capacity() + qsizetype(sizeof(*this)) + m_names.bytesHeld();
    bytes += qsizetype(m_layout.blocks.capacity() * sizeof(Block));
    bytes += qsizetype(m_layout.values.capacity() * sizeof(ValueLine));
    bytes += qsizetype(m_keys.capacity() * sizeof(Key));
    // QHash keeps a node (key and value) per entry in spans of 128 slots with a byte each.
    bytes += m_index.capacity() * qsizetype(sizeof(QByteArray) + sizeof(int) + 4 + 1);
    return bytes;
}

} // namespace velmora
