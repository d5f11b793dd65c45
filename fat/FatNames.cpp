#include "fat/FatNames.h"

#include "fat/LittleEndian.h"

#include <cstring>

namespace velmora::fatentry {

QString shortName(QByteArrayView raw)
{
    QByteArray base = raw.first(8).toByteArray();
    if (!base.isEmpty() && quint8(base[0]) == 0x05)
        base[0] = char(kDeleted);
    QString name = QString::fromLatin1(base).trimmed();
    const QString ext = QString::fromLatin1(raw.sliced(8, 3)).trimmed();
    if (!ext.isEmpty())
        name += QLatin1Char('.') + ext;
    return name;
}

bool isValidShortName(QByteArrayView raw)
{
    if (raw[0] == ' ')
        return false;
    for (qsizetype i = 0; i < 11; ++i) {
        const quint8 c = quint8(raw[i]);
        if ((c < 0x20 && !(i == 0 && c == 0x05)) || c == 0x7F || std::strchr("\"*+,./:;<=>?[\\]|", c))
            return false;
    }
    return true;
}

Result<QByteArray> encodeShortName(QStringView name)
{
    const auto refuse = [&] {
        return failure(QStringLiteral("\"%1\" is no 8.3 file name").arg(name.toString()));
    };
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const QStringView base = dot < 0 ? name : name.first(dot);
    const QStringView ext = dot < 0 ? QStringView() : name.sliced(dot + 1);
    if (base.isEmpty() || base.size() > 8 || ext.size() > 3 || (dot >= 0 && ext.isEmpty()))
        return refuse();
    static const QString allowed = QStringLiteral("!#$%&'()-@^_`{}~");
    QByteArray raw(11, ' ');
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (i == dot)
            continue;
        const QChar c = name[i].toUpper();
        if (!((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c.isDigit() || allowed.contains(c)) ||
            c.unicode() > 0x7F)
            return refuse();
        raw[dot < 0 || i < dot ? i : 8 + (i - dot - 1)] = char(c.unicode());
    }
    return raw;
}

quint8 checksum(QByteArrayView raw)
{
    quint8 sum = 0;
    for (int i = 0; i < 11; ++i)
        sum = quint8(((sum & 1) << 7) + (sum >> 1) + quint8(raw[i]));
    return sum;
}

quint16 dosDate(const QDateTime& when)
{
    const QDate d = when.date();
    const int year = qBound(1980, d.year(), 2107);
    return quint16(((year - 1980) << 9) | (d.month() << 5) | d.day());
}

quint16 dosTime(const QDateTime& when)
{
    const QTime t = when.time();
    return quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
}

QDateTime fromDos(quint16 date, quint16 time)
{
    return QDateTime(QDate(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F),
                     QTime((time >> 11) & 0x1F, (time >> 5) & 0x3F, (time & 0x1F) * 2));
}

void LongNameReader::feed(QByteArrayView e)
{
    const quint8 order = quint8(e[0]);
    const int part = order & 0x1F;
    if (order & 0x40) {
        if (part == 0 || part > 20) { // 20 parts hold the longest name, 255 characters
            m_expected = 0;
            return;
        }
        m_expected = part;
        m_checksum = quint8(e[13]);
        m_name.clear();
    } else if (m_expected == 0 || part != m_expected || quint8(e[13]) != m_checksum) {
        m_expected = 0;
        return;
    }
    QString piece;
    static constexpr int kChars[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (int at : kChars) {
        const char16_t c = le16(e, at);
        if (c == 0)
            break;
        piece += QChar(c);
    }
    m_name.prepend(piece);
    --m_expected;
    if (m_expected == 0)
        m_expected = -1; // complete: waits for its short entry
}

QString LongNameReader::take(QByteArrayView raw11)
{
    const bool complete = m_expected == -1 && checksum(raw11) == m_checksum;
    m_expected = 0;
    return complete ? m_name : QString();
}

} // namespace velmora::fatentry
