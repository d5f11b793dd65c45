#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace velmora {

// Keeps many small byte strings in a few large chunks, so tens of thousands of names cost a
// handful of allocations. The QByteArrays handed out do not own their bytes: they stay valid
// until clear() and must not leave the arena's owner.
class StringArena {
public:
    QByteArray keep(QByteArrayView bytes)
    {
        if (m_chunks.empty() || m_free < bytes.size()) {
            // Chunks grow from small to large, so a small registry stays small.
            const qsizetype size =
                std::max<qsizetype>(std::min<qsizetype>(kChunk, 4096 + m_held), bytes.size());
            m_chunks.push_back(std::make_unique_for_overwrite<char[]>(size_t(size)));
            m_next = m_chunks.back().get();
            m_free = size;
            m_held += size;
        }
        char* at = m_next;
        if (!bytes.isEmpty())
            std::memcpy(at, bytes.data(), size_t(bytes.size()));
        m_next += bytes.size();
        m_free -= bytes.size();
        return QByteArray::fromRawData(at, bytes.size());
    }

    // Takes back the string kept last, when it turned out not to be needed.
    void giveBack(QByteArrayView kept)
    {
        m_next -= kept.size();
        m_free += kept.size();
    }

    void clear()
    {
        m_chunks.clear();
        m_next = nullptr;
        m_free = 0;
        m_held = 0;
    }

    qsizetype bytesHeld() const { return m_held; }

private:
    static constexpr qsizetype kChunk = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> m_chunks;
    char* m_next = nullptr;
    qsizetype m_free = 0;
    qsizetype m_held = 0;
};

} // namespace velmora
