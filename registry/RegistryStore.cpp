#include "registry/RegistryStore.h"

#include "files/AtomicFile.h"
#include "files/HostFile.h"
#include "machine/Backups.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

// A registry file beyond this is taken for damage rather than read into memory.
constexpr qint64 kMaxFileSize = qint64(256) << 20;

constexpr qsizetype kRoomForEdits = 64 * 1024;

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
    if (m_writes.seen() || m_watch.changedSince(m_loaded, [this] { return identity(); }))
        load();
}

void RegistryStore::clear()
{
    m_text.clear();
    m_layout = regfile::Layout{};
    m_keys.clear();
    m_damage.clear();
}

void RegistryStore::load()
{
    clear();
    m_writes = FileWrites(m_path); // before the read: every write from then on is seen
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
    if (const Result<void> parsed = regfile::parseText(
            m_text, m_layout, [this](size_t block) { m_keys.indexBlock(m_layout.blocks[block], m_text); });
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
    m_keys.relink(m_layout.blocks);
}

bool RegistryStore::readValue(int key, QByteArrayView name, quint32& type, QByteArray& data) const
{
    const RegistryText text = view();
    const auto found = text.findValue(key, name);
    return found &&
           regfile::decodeData(text.textOf(m_layout.blocks[size_t(found->block)]), *found->line, type, data);
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
    const int key = m_keys.find(foldedKeyPath);
    if (key < 0)
        return Edited::KeyGone;
    const std::optional<TextEdit> edit = planSetValue(view(), key, name, type, data);
    return edit ? commit(*edit) : Edited::Done;
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
    const std::vector<QByteArray> missing = missingKeyPaths(m_keys, display, folded);
    return missing.empty() ? Edited::Done : commit(planKeyBlocks(view(), missing, QByteArray()));
}

Result<RegistryStore::Edited> RegistryStore::commit(const TextEdit& edit)
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
    std::vector<regfile::Block> fresh;
    std::vector<regfile::ValueLine> freshValues;
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
    Result<Replacement> written = seen ? Replacement{Attempt::FileChanged}
                                       : replaceFileIfUnchanged(m_target, m_text, m_loaded, &m_writes);
    if (!written || written->outcome == Attempt::FileChanged) {
        undo();
        if (!written)
            return failure(written.reason());
        return Edited::FileChanged;
    }
    if (m_backups)
        (void)m_backups->afterChange(m_target, m_text); // the change stands; only its digest is missing

    m_loaded = written->identity;
    m_writes = std::move(written->writes);
    m_watch.ownWrite();

    // The changed blocks and their value lines are replaced by their new reading, and the blocks
    // read again get their keys.
    const int first = edit.firstBlock, freshCount = int(fresh.size());
    const std::vector<int> oldKeys = spliceLayout(m_layout, edit, std::move(fresh), freshValues, delta);
    bool sameKeys = freshCount == int(oldKeys.size());
    for (int i = first; i < first + freshCount; ++i) {
        m_keys.indexBlock(m_layout.blocks[size_t(i)], m_text);
        sameKeys = sameKeys && m_layout.blocks[size_t(i)].key == oldKeys[size_t(i - first)];
    }
    if (!sameKeys)
        m_keys.relink(m_layout.blocks);
    return Edited::Done;
}

qsizetype RegistryStore::memoryUsage() const
{
    return m_text.capacity() + qsizetype(sizeof(*this)) + m_keys.memoryUsage() +
           qsizetype(m_layout.blocks.capacity() * sizeof(regfile::Block)) +
           qsizetype(m_layout.values.capacity() * sizeof(regfile::ValueLine));
}

} // namespace velmora
