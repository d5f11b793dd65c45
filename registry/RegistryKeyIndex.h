#pragma once

#include "core/StringArena.h"
#include "regedit4/RegistryFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

#include <vector>

namespace velmora {

// The keys of a REGEDIT4 text, found by their case-folded path below HKEY_LOCAL_MACHINE. Key 0 is
// the root. A key knows only its own name and its parent, so a deep path costs memory and time
// in proportion to its length, not to its square; its blocks in the text are chained last to
// first through the layout (Block::previousOfKey).
class RegistryKeyIndex {
public:
    static constexpr int kRoot = 0;

    RegistryKeyIndex() { clear(); }

    void clear();
    void reserve(size_t keys);

    // The key of a folded path; -1 when missing.
    int find(QByteArrayView foldedPath) const;
    // The deepest key along the path that exists; matched receives the length of its path.
    int deepest(QByteArrayView foldedPath, qsizetype& matched) const;
    // The key's path in the spelling met first.
    QByteArray path(int key) const;
    int parentOf(int key) const { return m_keys[size_t(key)].parent; }
    // True when key lies below ancestor; every key lies within the root.
    bool liesWithin(int key, int ancestor) const;
    // The key's last block in the text, -1 for a key that only lies above others.
    int lastBlock(int key) const { return m_keys[size_t(key)].lastBlock; }

    // Gives a block under HKEY_LOCAL_MACHINE its key, added with every missing key above it.
    void indexBlock(regfile::Block& block, QByteArrayView text);
    // Chains the blocks of each key, last to first.
    void relink(std::vector<regfile::Block>& blocks);

    qsizetype memoryUsage() const;

private:
    struct Key {
        QByteArrayView name; // the first spelling met; it lives in m_names
        int parent = -1;
        int lastBlock = -1;
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

    int ensure(QByteArrayView display, QByteArrayView folded);

    std::vector<Key> m_keys;
    StringArena m_names;
    QHash<KeyName, int> m_index;    // the names' bytes live in m_names
    QByteArray m_display, m_folded; // scratch for normalising paths
    QByteArray m_trailPath;         // the folded path of the block indexed last
    std::vector<TrailStep> m_trail; // the keys along it
    mutable QByteArray m_foundPath; // the path find() found last, and its key: a program
    mutable int m_foundKey = -1;    // opens a key and then reads it, the same path twice
};

} // namespace velmora
