#pragma once

#include "core/Result.h"
#include "files/FileChangeWatch.h"
#include "files/FileIdentity.h"
#include "files/FileLock.h"
#include "files/FileWrites.h"
#include "regedit4/RegistryFile.h"
#include "registry/RegistryBackend.h"
#include "registry/RegistryEditPlan.h"
#include "registry/RegistryKeyIndex.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

struct stat;

namespace velmora {

class BackupSession;

// HKEY_LOCAL_MACHINE as kept in one REGEDIT4 file. The file's text stays in memory as it was
// read; keys and values are found through a layout that points into it, so a write changes only
// the lines it has to and every other byte stays as it was.
//
// The file is read on first use and again whenever it changed on disk (another process, an
// editor). Every write follows the write protocol every writer does (guardedWrite), its lock
// an flock on "<file>.lock": it re-reads a changed file, edits the text and replaces the file
// atomically, so concurrent writers never lose each other's changes; a change another program
// makes before the new file is in place is read and the edit made again on it. A file that
// cannot be read or parsed is "damaged": it is served as an empty registry and never written;
// damage() names the file and the line.
class RegistryStore final : public RegistryBackend {
public:
    explicit RegistryStore(QString filePath);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    const QString& filePath() const override { return m_path; }

    // Backs the file up before the first change (a backup that fails stops the change).
    void setBackups(BackupSession* backups) override { m_backups = backups; }

    // Reads the file again when it changed on disk since it was last read or written (as its
    // folder's watch tells, or else its inode, size and times).
    void refresh() override;

    bool isDamaged() const override { return !m_damage.isEmpty(); }
    const QString& damage() const override { return m_damage; }

    // Keys are found by their normalised, case-folded path below HKEY_LOCAL_MACHINE
    // (regfile::normalisePath). The root itself is the empty path. A key exists when it has a
    // block in the file or lies above one that has. -1 when missing.
    int findKey(QByteArrayView foldedPath) const override { return m_keys.find(foldedPath); }
    // The key's path in the spelling met first.
    QByteArray keyPath(int key) const override { return m_keys.path(key); }

    // The value of that name (case-insensitive; the empty name is the default value). When a
    // file holds the same value twice, the later one counts, as it would after an import.
    bool readValue(int key, QByteArrayView name, quint32& type, QByteArray& data) const override;

    // Creates the key and every missing key above it. The path is normalised; the parts that
    // exist keep their spelling.
    Result<void> createKey(QByteArrayView path) override;
    // Sets a value of an existing key. An existing value keeps the spelling of its name; a new
    // value goes after the last value of its key. KeyGone when the key is gone.
    Result<Written> setValue(QByteArrayView foldedKeyPath, QByteArrayView name, quint32 type,
                             QByteArrayView data) override;

    // The text as it was last read or written (empty for a missing or damaged file).
    const QByteArray& text() const { return m_text; }
    // Bytes held for the registry, the text included.
    qsizetype memoryUsage() const;

private:
    using Identity = FileIdentity;

    Identity identity() const;
    void load();
    void clear();
    RegistryText view() const { return RegistryText{m_text, m_layout, m_keys}; }
    // How an edit ended, when it did not fail: the file changed meanwhile means "edit again".
    enum class Edited { Done, FileChanged, KeyGone };
    Result<Edited> write(const std::function<Result<Edited>()>& edit);
    Result<void> prepareWrite();
    Result<Edited> setValueInText(QByteArrayView foldedKeyPath, QByteArrayView name, quint32 type,
                                  QByteArrayView data);
    Result<Edited> createKeyInText(const QByteArray& display, const QByteArray& folded);
    Result<Edited> commit(const TextEdit& edit);
    QString fileName() const;

    QString m_path;
    QString m_target; // the file a write replaces: m_path, or the file its link points to
    BackupSession* m_backups = nullptr;
    FileLock m_lock;
    FileChangeWatch m_watch;
    FileWrites m_writes; // into the file as loaded or last written
    QByteArray m_text;
    regfile::Layout m_layout;
    RegistryKeyIndex m_keys;
    Identity m_loaded;
    QString m_damage;
    mutable int m_folder = -1; // the file's folder, open for looking the file up
    mutable QByteArray m_leafName;
};

} // namespace velmora
