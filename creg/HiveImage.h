#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

#include <vector>

namespace velmora {

// A Windows 95/98/Me binary registry file (SYSTEM.DAT, USER.DAT) held in memory: its bytes as
// they were read, checked against every rule a reader relies on, and an index of its keys by
// their parent and case-folded name. Edits never touch *this: they return the bytes of the file
// with one change made surgically (only the data blocks that take or give up a record are
// re-packed, and the key tree only where a key is linked in or its record moved), which the
// caller parses again before keeping them.
//
// A key knows its own name (in the file's bytes) and its parent, never its whole path, so a
// key tree of any depth costs memory and time in proportion to the file's size.
class HiveImage {
public:
    static constexpr int kRootKey = 0;
    static constexpr qsizetype kMaxValueData = 16300;     // Windows 9x refuses larger values
    static constexpr qsizetype kMaxKeyRecord = 60 * 1024; // a key's names and values together

    // An empty registry: the root key alone, no file bytes.
    HiveImage();

    // Reads and checks the whole file. The reason says what is wrong and where (file offsets).
    static Result<HiveImage> parse(QByteArray bytes);

    const QByteArray& bytes() const { return m_bytes; }
    int keyCount() const { return int(m_keys.size()); }

    // By the path below the root, normalised and case-folded as regfile::normalisePath does; the
    // root is the empty path. -1 when missing. Of two subkeys of the same name the first is found,
    // as Windows finds it.
    int findKey(QByteArrayView foldedPath) const;
    QByteArray keyPath(int key) const; // as the file spells it
    QByteArrayView keyName(int key) const;
    std::vector<int> subkeys(int key) const; // in the file's order
    int keyBlock(int key) const;             // the data block holding its record, -1 for none

    struct Value {
        QByteArrayView name; // empty for the default value
        quint32 type;
        QByteArrayView data;
    };
    std::vector<Value> values(int key) const; // in the file's order
    // The value of that name, matched case-insensitively in Windows-1252.
    bool readValue(int key, QByteArrayView name, quint32& type, QByteArray& data) const;

    // The file with the value set: an existing value keeps the spelling of its name and its
    // place, a new one goes after the key's last value. Text (REG_SZ) is stored without a final
    // NUL, as Windows stores it. A key whose block cannot grow any further has its record moved
    // to a block with room, or to a new block.
    Result<QByteArray> withValue(int key, QByteArrayView name, quint32 type, QByteArrayView data) const;
    // The file with a new subkey of parent, linked after its last subkey. The caller makes sure
    // no subkey of that name exists.
    Result<QByteArray> withSubkey(int parent, QByteArrayView name) const;

    // The hash Windows keeps in a key's tree entry and compares before the name.
    static quint32 nameHash(QByteArrayView name);

private:
    struct Key {
        quint32 entry = 0;  // offset of its key-tree entry, relative to the tree's start
        quint32 record = 0; // file offset of its record; 0 when it has none
        int parent = -1;
        int firstChild = -1;
        int lastChild = -1;
        int nextSibling = -1;
    };
    struct Block {
        quint32 offset;
        quint32 size;
        quint32 live = 0; // bytes taken by live records (their allocated sizes)
    };
    // What finds a key: its parent and its name, compared case-folded. The name lives in m_bytes.
    struct KeyName {
        int parent;
        QByteArrayView name;
        bool operator==(const KeyName& o) const;
        size_t hash(size_t seed) const;
        friend size_t qHash(const KeyName& k, size_t seed) { return k.hash(seed); }
    };

    Result<void> indexBlocks();
    Result<void> indexRecords(int block);
    Result<void> indexTree();
    quint32& recordAt(int block, int id) { return m_recordAt[size_t(block) * 255 + size_t(id)]; }
    quint32 recordAt(int block, int id) const { return m_recordAt[size_t(block) * 255 + size_t(id)]; }
    int lowestFreeId(int block) const;
    bool isNinetyEight() const;
    quint32 largestRecord() const;
    bool hasRoom(int block, quint32 recordSize) const;
    Result<void> placeRecord(QByteArray& bytes, int block, int id, QByteArray record, bool isNew) const;
    struct Place {
        int block;
        int id;
    };
    Result<Place> placeNewRecord(QByteArray& bytes, QByteArray record, int preferred, int avoided) const;
    void freeRecord(QByteArray& bytes, int block, int id) const;
    void appendBlock(QByteArray& bytes, QByteArray record) const;
    Result<void> linkEntry(QByteArray& bytes, int parent, QByteArrayView name, int block, int id) const;

    QByteArray m_bytes;
    quint32 m_treeSize = 0;
    std::vector<Block> m_blocks;
    std::vector<quint32> m_recordAt; // 255 ids a block: the file offset of each live record, or 0
    std::vector<Key> m_keys;         // the root first
    QHash<KeyName, int> m_index;     // every key but the root
};

} // namespace velmora
