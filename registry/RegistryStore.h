#pragma once

#include "core/Result.h"
#include "core/StringArena.h"
#include "files/FileChangeWatch.h"
#include "files/FileIdentity.h"
#include "files/FileLock.h"
#include "regedit4/RegistryFile.h"
#include "registry/RegistryBackend.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>
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
    int findKey(QByteArrayView foldedPath) const override;
    // The key's path in the spelling met first.
    QByteArray keyPath(int key) const override;

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
    // A key knows only its own name and its parent, so a deep path costs memory and time in
    // proportion to its length, not to its square.
    struct Key {
        QByteArrayView name; // the first spelling met; it lives in m_names
        int parent = -1;
        int lastBlock = -1; // its last block in the file, -1 for a key that only lies above others
    };
    // What finds a key: its parent and its case-folded name.
    struct KeyName {
        int parent;
        QByteArrayView folded;
        bool operator==(const KeyName& o) const { return parent == o.parent && folded == o.folded; }
        friend size_t qHash(const KeyName& k, size_t seed) { return qHashMulti(seed, k.parent, k.folded); }
    };
    // A key on the path of the block indexed last, and where its name ends in that path.
    struct TrailStep {
        quint32 end;
        int key;
    };
    using Identity = FileIdentity;
    struct Edit; // one replacement of text and the blocks it touches
    struct Found {
        int block;
        const regfile::ValueLine* line;
    };

    Identity identity() const;
    void load();
    void clear();
    int deepestKey(QByteArrayView foldedPath, qsizetype& matched) const;
    bool liesWithin(int key, int ancestor) const;
    int ensureKey(QByteArrayView display, QByteArrayView folded);
    void indexBlock(int block);
    void relink();
    QByteArrayView textOf(const regfile::Block& block) const;
    std::optional<Found> findValue(int key, QByteArrayView name) const;
    // How an edit ended, when it did not fail: the file changed meanwhile means "edit again".
    enum class Edited { Done, FileChanged, KeyGone };
    Result<Edited> write(const std::function<Result<Edited>()>& edit);
    Result<void> prepareWrite();
    Result<Edited> setValueInText(QByteArrayView foldedKeyPath, QByteArrayView name, quint32 type,
                                  QByteArrayView data);
    Result<Edited> createKeyInText(const QByteArray& display, const QByteArray& folded);
    Result<Edited> insertKeyBlocks(const std::vector<QByteArray>& paths, const QByteArray& valueLine);
    Result<Edited> commit(const Edit& edit);
    QString fileName() const;

    QString m_path;
    QString m_target; // the file a write replaces: m_path, or the file its link points to
    BackupSession* m_backups = nullptr;
    FileLock m_lock;
    FileChangeWatch m_watch;
    QByteArray m_text;
    regfile::Layout m_layout;
    std::vector<Key> m_keys;
    StringArena m_names;
    QHash<KeyName, int> m_index;    // the names' bytes live in m_names
    QByteArray m_display, m_folded; // scratch for normalising paths
    QByteArray m_trailPath;         // the folded path of the block indexed last
    std::vector<TrailStep> m_trail; // the keys along it
    Identity m_loaded;
    QString m_damage;
    mutable QByteArray m_foundPath; // the path findKey found last, and its key: a program
    mutable int m_foundKey = -1;    // opens a key and then reads it, the same path twice
    mutable int m_folder = -1;      // the file's folder, open for looking the file up
    mutable QByteArray m_leafName;
};

} // namespace velmora
