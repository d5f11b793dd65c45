#pragma once

#include <QByteArrayView>
#include <QtEndian>

namespace velmora {

// Fixed-width fields of on-disk headers. A field that would reach past the bytes at hand reads
// as 0, so a short or damaged header fails its checks instead of being read out of bounds.
template <typename T> T littleEndianAt(QByteArrayView bytes, qsizetype offset)
{
    if (offset < 0 || offset > bytes.size() - qsizetype(sizeof(T)))
        return 0;
    return qFromLittleEndian<T>(bytes.data() + offset);
}

template <typename T> T bigEndianAt(QByteArrayView bytes, qsizetype offset)
{
    if (offset < 0 || offset > bytes.size() - qsizetype(sizeof(T)))
        return 0;
    return qFromBigEndian<T>(bytes.data() + offset);
}

inline bool bytesAt(QByteArrayView bytes, qsizetype offset, QByteArrayView expected)
{
    return offset >= 0 && offset <= bytes.size() - expected.size() &&
           bytes.sliced(offset, expected.size()) == expected;
}

// Whether [offset, offset + length) lies inside `size` bytes, without overflow.
inline bool fitsInside(qint64 offset, qint64 length, qint64 size)
{
    return offset >= 0 && length >= 0 && offset <= size && length <= size - offset;
}

} // namespace velmora
