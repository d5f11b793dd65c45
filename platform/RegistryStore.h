#pragma once

#include "platform/FileChangeWatch.h"
#include "platform/FileLock.h"
#include "platform/RegistryFile.h"
#include "platform/StringArena.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>
#include <vector>

struct stat;

namespace velmora {

class BackupSession;

// HKEY_LOCAL_MACHINE as kept in one REGEDIT4 file. The file's text stays in memory as it was
// read; keys and values are found through a layout that points into it, so a write changes only
// the lines it has to and every other byte stays as it was.
//
// The file is read on first use and again whenever it changed on disk (another process, an
// editor). Every write takes a lock shared by all processes (flock on "<file>.lock"), re-reads
// a changed file, edits the text and replaces the file atomically, so concurrent writers never
// lose each other's changes. A file that cannot be read or parsed is "damaged": it is served as
// an empty registry and never written; damage() names the file and the line.
class RegistryStore {
public:
    explicit RegistryStore(QString filePath);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    const QString& filePath() const { return m_path; }

    // Backs the file up before the first change (a backup that fails stops the change).
    void setBackups(BackupSession* backups) { m_backups = backups; }

    // Reads the file again when it changed on disk since it was last read or written (as its
    // folder's watch tells, or else its inode, size and times).
    void refresh();

    bool isDamaged() const { return !m_damage.isEmpty(); }
    const QString& damage() const { return m_damage; }

    // Keys are found by their normalised, case-folded path below HKEY_LOCAL_MACHINE
    // (regfile::normalisePath). The root itself is the empty path. A key exists when it has a
    // block in the file or lies above one that has. -1 when missing.
    static constexpr int kRootKey = 0;
    int findKey(QByteArrayView foldedPath) const
    {
        return m_index.value(QByteArray::fromRawData(foldedPath.data(), foldedPath.size()), -1);
    }
    QByteArray keyPath(int key) const { return m_keys[size_t(key)].display.toByteArray(); }

    // The value of that name (case-insensitive; the empty name is the default value). When a
    // file holds the same value twice, the later one counts, as it would after an import.
    bool readValue(int key, QByteArrayView name, quint32& type, QByteArray& data) const;

    // Creates the key and every missing key above it. The path is normalised; the parts that
    // exist keep their spelling. A registry result code; reason says why it failed.
    long createKey(QByteArrayView path, QString& reason);
    // Sets a value of an existing key. An existing value keeps the spelling of its name; a new
    // value goes after the last value of its key. ERROR_KEY_DELETED when the key is gone.
    long setValue(QByteArrayView foldedKeyPath, QByteArrayView name, quint32 type, QByteArrayView data,
                  QString& reason);

    // The text as it was last read or written (empty for a missing or damaged file).
    const QByteArray& text() const { return m_text; }
    // Bytes held for the registry, the text included.
    qsizetype memoryUsage() const;

private:
    struct Key {
        QByteArrayView display; // the first spelling met; both names live in m_names
        QByteArrayView folded;
        int lastBlock = -1; // its last block in the file, -1 for a key that only lies above others
    };
    struct Identity {
        int error = -1; // 0 when the file exists; errno otherwise; -1 when never looked at
        quint64 device = 0, inode = 0, size = 0;
        qint64 modified = 0, changed = 0;
        bool operator==(const Identity&) const = default;
    };
    struct Edit; // one replacement of text and the blocks it touches
    struct Found {
        int block;
        const regfile::ValueLine* line;
    };

    Identity identity() const;
    static Identity identityOf(const struct stat& st);
    void load();
    void clear();
    int ensureKey(QByteArrayView display, QByteArrayView folded);
    int addKey(QByteArrayView display, QByteArrayView folded);
    void indexBlock(int block);
    void relink();
    QByteArrayView textOf(const regfile::Block& block) const;
    std::optional<Found> findValue(int key, QByteArrayView name) const;
    long prepareWrite(const FileLockGuard& guard, QString& reason);
    long insertKeyBlocks(const std::vector<QByteArray>& paths, const QByteArray& valueLine, QString& reason);
    long commit(const Edit& edit, QString& reason);
    QString fileName() const;

    QString m_path;
    BackupSession* m_backups = nullptr;
    FileLock m_lock;
    FileChangeWatch m_watch;
    QByteArray m_text;
    regfile::Layout m_layout;
    std::vector<Key> m_keys;
    StringArena m_names;
    QHash<QByteArray, int> m_index; // folded path -> key; the paths' bytes live in m_names
    QByteArray m_display, m_folded; // scratch for normalising paths
    int m_recentParent = -1;        // the parent of the key added last
    Identity m_loaded;
    QString m_damage;
    mutable int m_folder = -1; // the file's folder, open for looking the file up
    mutable QByteArray m_leafName;
};

} // namespace velmora
