#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtEndian>

namespace velmora {

// Little-endian fields of on-disk structures; the caller has checked that they lie inside.
inline quint16 le16(QByteArrayView b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.data() + at);
}
inline quint32 le32(QByteArrayView b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.data() + at);
}
inline void putLe16(QByteArray& b, qsizetype at, quint16 v)
{
    qToLittleEndian<quint16>(v, b.data() + at);
}
inline void putLe32(QByteArray& b, qsizetype at, quint32 v)
{
    qToLittleEndian<quint32>(v, b.data() + at);
}

} // namespace velmora
