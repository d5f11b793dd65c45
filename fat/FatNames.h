#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

namespace velmora {

// The 32-byte entry of a FAT folder, its 8.3 name and the VFAT long names spread over the
// entries before it.
namespace fatentry {

constexpr int kSize = 32;
constexpr quint8 kReadOnly = 0x01, kHidden = 0x02, kSystem = 0x04, kVolumeLabel = 0x08, kDirectory = 0x10,
                 kArchive = 0x20, kLongName = 0x0F;
constexpr quint8 kEndOfFolder = 0x00, kDeleted = 0xE5;

// "NAME.EXT" from the 11 bytes of the entry; a stored leading 0x05 stands for 0xE5.
QString shortName(QByteArrayView raw11);
// Whether the 11 bytes hold a name a path can reach: no control or path character, no leading
// blank.
bool isValidShortName(QByteArrayView raw11);
// The 11 bytes for a name given as "NAME.EXT" (any case, stored upper-case); fails when the name
// is no valid 8.3 name, since a new file gets no long name.
Result<QByteArray> encodeShortName(QStringView name);
// The checksum a long name's entries carry of the short name they belong to.
quint8 checksum(QByteArrayView raw11);

quint16 dosDate(const QDateTime& when);
quint16 dosTime(const QDateTime& when);
QDateTime fromDos(quint16 date, quint16 time);

// Collects a long name from its entries, last part first as they are stored, and hands it out
// only when every part was seen in order and it belongs to the short entry that follows.
class LongNameReader {
public:
    void feed(QByteArrayView entry);
    void reset() { m_expected = 0; }
    QString take(QByteArrayView raw11);

private:
    int m_expected = 0; // the sequence number the next part must carry; 0 when none is pending
    quint8 m_checksum = 0;
    QString m_name;
};

} // namespace fatentry
} // namespace velmora
