#include "core/AnsiCodePage.h"

#include <array>

namespace velmora {
namespace {

// 0x80..0x9F of Windows-1252; the undefined five keep their C1 control.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int ansiByteFor(char32_t codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return int(codePoint);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == codePoint)
            return int(0x80 + i);
    return -1;
}

template <typename OnCodePoint> void forEachCodePoint(QStringView text, OnCodePoint onCodePoint)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            onCodePoint(QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
        } else {
            onCodePoint(char32_t(c.unicode()));
        }
    }
}

} // namespace

QByteArray toAnsi(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    forEachCodePoint(text, [&](char32_t cp) {
        const int b = ansiByteFor(cp);
        bytes.append(b < 0 ? '?' : char(b));
    });
    return bytes;
}

QString fromAnsi(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(kHighControls[b - 0x80]) : QChar(b);
    }
    return text;
}

bool isAnsiRepresentable(QStringView text)
{
    bool ok = true;
    forEachCodePoint(text, [&](char32_t cp) { ok = ok && ansiByteFor(cp) >= 0; });
    return ok;
}

} // namespace velmora
