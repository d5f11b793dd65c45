#include "platform/RegistryFile.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmora::regfile {
namespace {

constexpr std::array<uchar, 256> makeFoldTable()
{
    std::array<uchar, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = uchar(c);
    for (int c = 'A'; c <= 'Z'; ++c)
        t[c] = uchar(c + 32);
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) // the multiplication sign has no lowercase
            t[c] = uchar(c + 32);
    t[0x8A] = 0x9A; // S caron
    t[0x8C] = 0x9C; // OE
    t[0x8E] = 0x9E; // Z caron
    t[0x9F] = 0xFF; // Y diaeresis
    return t;
}
constexpr std::array<uchar, 256> kFold = makeFoldTable();

// The first c in [p, end), or nullptr. Lines are short, so the call into memchr costs more than
// the search: sixteen bytes at a time, inline.
inline const char* findByte(const char* p, const char* end, char c)
{
#if defined(__SSE2__)
    if (end - p >= 16) {
        const __m128i needle = _mm_set1_epi8(c);
        auto hitsAt = [&](const char* at) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, needle)));
        };
        for (; end - p > 16; p += 16)
            if (const unsigned hits = hitsAt(p))
                return p + __builtin_ctz(hits);
        // The last 1 to 16 bytes: one load that ends at end, its bytes before p already searched.
        const char* last = end - 16;
        const unsigned hits = hitsAt(last) >> (p - last);
        return hits ? p + __builtin_ctz(hits) : nullptr;
    }
    for (; p < end; ++p)
        if (*p == c)
            return p;
    return nullptr;
#else
    return static_cast<const char*>(std::memchr(p, c, size_t(end - p)));
#endif
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

constexpr std::array<signed char, 256> makeHexTable()
{
    std::array<signed char, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                               : -1);
    return t;
}
constexpr std::array<signed char, 256> kHex = makeHexTable();

inline int hexDigit(char c)
{
    return kHex[uchar(c)];
}

// word is in lowercase, as files mostly spell it. Its length is known here, so the compare
// needs no call.
template <size_t N> inline bool startsWithFolded(const char* p, const char* end, const char (&word)[N])
{
    constexpr qsizetype n = N - 1;
    if (end - p < n)
        return false;
    return std::memcmp(p, word, size_t(n)) == 0 || namesEqual(QByteArrayView(p, n), QByteArrayView(word, n));
}

// One physical line: [begin, contentEnd) without its line break; next is the following line.
struct Line {
    const char* begin;
    const char* contentEnd;
    const char* next;
};

inline Line lineAt(const char* begin, const char* end)
{
    const char* nl = findByte(begin, end, '\n');
    Line line{begin, nl ? nl : end, nl ? nl + 1 : end};
    if (line.contentEnd > begin && line.contentEnd[-1] == '\r')
        --line.contentEnd;
    return line;
}

const char* skipBlanks(const char* p, const char* end)
{
    while (p < end && isBlank(*p))
        ++p;
    return p;
}

// Text in quotes: \\ and \" are the only escapes; any other backslash stays as it is.
// p is just past the opening quote; returns the closing quote, or nullptr when there is none.
const char* scanQuoted(const char* p, const char* end, bool* escaped, QByteArray* out)
{
    if (!out) {
        // Only looking for the end: a quote closes unless an odd run of backslashes precedes it.
        for (const char* from = p;;) {
            const char* quote = findByte(from, end, '"');
            if (!quote)
                return nullptr;
            const char* run = quote;
            while (run > p && run[-1] == '\\')
                --run;
            if (((quote - run) & 1) == 0) {
                if (escaped && findByte(p, quote, '\\'))
                    *escaped = true;
                return quote;
            }
            from = quote + 1;
        }
    }
    while (p < end) {
        const char c = *p;
        if (c == '"')
            return p;
        if (c == '\\' && p + 1 < end) {
            const char n = p[1];
            if (n == '\\' || n == '"') {
                if (escaped)
                    *escaped = true;
                if (out)
                    out->append(n);
                p += 2;
                continue;
            }
        }
        if (out)
            out->append(c);
        ++p;
    }
    return nullptr;
}

// After a value only blanks or a comment may follow.
bool restIsEmpty(const char* p, const char* end)
{
    p = skipBlanks(p, end);
    return p == end || *p == ';';
}

struct DataScan {
    const char* contentEnd; // end of the last physical line the data used
    const char* next;       // the line after it
};

// Scans the data of a value line from p (just past "=" and its blanks) on the physical line
// ending at lineEnd, nextLine being the one after it. A text or a hex list may go on over the
// following lines, up to end. Decodes into *data when
// given. On failure returns nothing and sets error; extraLines then counts the lines read past
// the first, so the error can name the line it is on.
// Inline: reading a file calls it for every value line without decoding, and the branches on
// type and data then fold away.
[[gnu::always_inline]] inline std::optional<DataScan> scanData(const char* p, const char* lineEnd,
                                                               const char* nextLine, const char* end,
                                                               quint32* type, QByteArray* data,
                                                               QString& error, int& extraLines)
{
    extraLines = 0;
    if (p < lineEnd && *p == '"') {
        const char* close = scanQuoted(p + 1, lineEnd, nullptr, nullptr);
        if (!close && nextLine < end) {
            // regedit exports a text's line breaks as they are, inside the quotes: the text goes
            // on over the following lines up to its closing quote, the line breaks part of it.
            close = scanQuoted(p + 1, end, nullptr, nullptr);
            if (close) {
                const Line last = lineAt(close, end);
                extraLines = int(QByteArrayView(p, close - p).count('\n'));
                lineEnd = last.contentEnd;
                nextLine = last.next;
            }
        }
        if (!close) {
            error = QStringLiteral("the text has no closing quote");
            return std::nullopt;
        }
        if (data) {
            if (findByte(p + 1, close, '\\'))
                scanQuoted(p + 1, close + 1, nullptr, data);
            else
                data->append(p + 1, close - (p + 1));
        }
        if (!restIsEmpty(close + 1, lineEnd)) {
            error = QStringLiteral("unexpected characters after the text");
            return std::nullopt;
        }
        if (type)
            *type = 1;
        return DataScan{lineEnd, nextLine};
    }
    if (startsWithFolded(p, lineEnd, "dword:")) {
        p += 6;
        quint32 value = 0;
        int digits = 0;
        for (; p < lineEnd && hexDigit(*p) >= 0; ++p, ++digits)
            value = value << 4 | quint32(hexDigit(*p));
        if (digits == 0 || digits > 8 || !restIsEmpty(p, lineEnd)) {
            error = QStringLiteral("a dword needs 1 to 8 hex digits");
            return std::nullopt;
        }
        if (type)
            *type = 4;
        if (data) {
            const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
            data->append(bytes, 4);
        }
        return DataScan{lineEnd, nextLine};
    }
    if (startsWithFolded(p, lineEnd, "hex")) {
        p += 3;
        quint32 hexType = 3;
        if (p < lineEnd && *p == '(') {
            ++p;
            hexType = 0;
            int digits = 0;
            for (; p < lineEnd && hexDigit(*p) >= 0; ++p, ++digits)
                hexType = hexType << 4 | quint32(hexDigit(*p));
            if (digits == 0 || digits > 8 || p == lineEnd || *p != ')') {
                error = QStringLiteral("a broken hex(n) type");
                return std::nullopt;
            }
            ++p;
        }
        if (p == lineEnd || *p != ':') {
            error = QStringLiteral("a hex value needs \":\"");
            return std::nullopt;
        }
        ++p;
        if (type)
            *type = hexType;
        if (data)
            data->reserve((lineEnd - p + 1) / 3);
        // Items are one or two hex digits separated by commas; a line ending in "\" goes on
        // with the next line, whose leading blanks do not count. As in Windows' importer, the
        // "\" must follow a comma (or the colon): "12,3\" is no list.
        bool itemDue = true; // at the start, or after a comma
        for (;;) {
            // The common form first: two digits and a comma.
            while (lineEnd - p >= 3 && p[2] == ',' && (hexDigit(p[0]) | hexDigit(p[1])) >= 0) {
                if (data)
                    data->append(char(hexDigit(p[0]) << 4 | hexDigit(p[1])));
                p += 3;
            }
            p = skipBlanks(p, lineEnd);
            if (p == lineEnd || *p == ';')
                return DataScan{lineEnd, nextLine};
            if (*p == '\\' && skipBlanks(p + 1, lineEnd) == lineEnd) {
                if (!itemDue) {
                    error = QStringLiteral("a broken hex list: \"\\\" must follow a comma");
                    return std::nullopt;
                }
                if (nextLine >= end) {
                    error = QStringLiteral("the hex list breaks off: its continuation line is missing");
                    return std::nullopt;
                }
                const Line line = lineAt(nextLine, end);
                lineEnd = line.contentEnd;
                nextLine = line.next;
                ++extraLines;
                p = skipBlanks(line.begin, lineEnd);
                if (p == lineEnd) {
                    error = QStringLiteral("the hex list breaks off: its continuation line is empty");
                    return std::nullopt;
                }
                if (*p == '\\' && skipBlanks(p + 1, lineEnd) == lineEnd) {
                    error =
                        QStringLiteral("the hex list breaks off: its continuation line holds only \"\\\"");
                    return std::nullopt;
                }
                continue;
            }
            const int hi = hexDigit(*p);
            if (hi < 0) {
                error = QStringLiteral("a broken hex list");
                return std::nullopt;
            }
            int byte = hi;
            ++p;
            if (p < lineEnd && hexDigit(*p) >= 0) {
                byte = byte << 4 | hexDigit(*p);
                ++p;
            }
            if (data)
                data->append(char(byte));
            p = skipBlanks(p, lineEnd);
            itemDue = p < lineEnd && *p == ',';
            if (itemDue) {
                ++p;
                continue;
            }
            if (p == lineEnd || *p == ';' || *p == '\\')
                continue;
            error = QStringLiteral("a broken hex list");
            return std::nullopt;
        }
    }
    if (p < lineEnd && *p == '-')
        error = QStringLiteral("deleting values is not supported in the registry file");
    else
        error = QStringLiteral("the value's data is neither text, dword nor hex");
    return std::nullopt;
}

int lineNumberAt(QByteArrayView text, qsizetype offset)
{
    return 1 + int(QByteArrayView(text).first(offset).count('\n'));
}

} // namespace

uchar foldByte(uchar c)
{
    return kFold[c];
}

bool namesEqual(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    const auto* x = reinterpret_cast<const uchar*>(a.data());
    const auto* y = reinterpret_cast<const uchar*>(b.data());
    for (qsizetype i = 0; i < a.size(); ++i)
        if (x[i] != y[i] && kFold[x[i]] != kFold[y[i]])
            return false;
    return true;
}

void normalisePath(QByteArrayView path, QByteArray& display, QByteArray& folded)
{
    display.resize(path.size());
    folded.resize(path.size());
    char* d = display.data();
    char* f = folded.data();
    qsizetype n = 0;
    bool pendingSeparator = false;
    for (const char c : path) {
        if (c == '\\') {
            pendingSeparator = n > 0;
            continue;
        }
        if (pendingSeparator) {
            d[n] = f[n] = '\\';
            ++n;
            pendingSeparator = false;
        }
        d[n] = c;
        f[n] = char(kFold[uchar(c)]);
        ++n;
    }
    display.truncate(n);
    folded.truncate(n);
}

std::optional<QByteArrayView> foldPath(QByteArrayView path, QByteArray& folded)
{
    while (path.endsWith('\\'))
        path.chop(1);
    const qsizetype n = path.size();
    const auto* p = reinterpret_cast<const uchar*>(path.data());
    if (n > 0 && p[0] == '\\')
        return std::nullopt;
    const char* const end = path.data() + n;
    for (const char* s = path.data(); (s = findByte(s, end, '\\'));)
        if (++s < end && *s == '\\')
            return std::nullopt;
    folded.resize(n);
    auto* f = reinterpret_cast<uchar*>(folded.data());
    // Eight bytes at a time while they are ASCII: A-Z gain 0x20, nothing else changes. Bytes of
    // 0x80 and above go through the table.
    constexpr std::uint64_t ones = 0x0101010101010101u;
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & (0x80 * ones)) {
            for (int k = 0; k < 8; ++k)
                f[i + k] = kFold[p[i + k]];
            continue;
        }
        // With every byte below 0x80 the additions carry into no neighbour.
        const std::uint64_t upper =
            (w + (0x80 - 'A') * ones) & ~(w + (0x80 - 'Z' - 1) * ones) & (0x80 * ones);
        w |= upper >> 2;
        std::memcpy(f + i, &w, 8);
    }
    for (; i < n; ++i)
        f[i] = kFold[p[i]];
    return path;
}

QByteArrayView Block::localPath(QByteArrayView text) const
{
    QByteArrayView p = path(text).sliced(kLocalMachine.size());
    while (!p.isEmpty() && p.front() == '\\')
        p = p.sliced(1);
    return p;
}

std::optional<ParseError> parseBlocks(QByteArrayView text, qsizetype from, qsizetype to, int firstLine,
                                      std::vector<Block>& blocks, std::vector<ValueLine>& values,
                                      const BlockSeen& seen)
{
    const char* base = text.data();
    const char* end = base + to;
    const char* p = base + from;
    int lineNo = firstLine;
    Block* block = nullptr;
    QString error;
    auto fail = [&](const QString& what) { return ParseError{lineNo, what}; };

    while (p < end) {
        const Line line = lineAt(p, end);
        const char* q = skipBlanks(line.begin, line.contentEnd);
        if (q == line.contentEnd || *q == ';') {
            // blank line or comment
        } else if (*q == '[') {
            const char* close = line.contentEnd;
            while (close > q && isBlank(close[-1]))
                --close;
            if (close == q + 1 || close[-1] != ']')
                return fail(QStringLiteral("a key line must end with \"]\""));
            --close;
            if (close == q + 1)
                return fail(QStringLiteral("a key line without a key"));
            if (q[1] == '-')
                return fail(QStringLiteral("deleting keys is not supported in the registry file"));
            if (block)
                block->length = (line.begin - base) - block->start;
            Block& b = blocks.emplace_back();
            b.firstValue = quint32(values.size());
            b.start = line.begin - base;
            b.keyLineLength = quint32(line.next - line.begin);
            b.pathStart = quint32(q + 1 - line.begin);
            b.pathLength = quint32(close - (q + 1));
            const QByteArrayView path(q + 1, close - (q + 1));
            b.localMachine = path.size() >= kLocalMachine.size() &&
                             (path.startsWith(kLocalMachine) ||
                              namesEqual(path.first(kLocalMachine.size()), kLocalMachine)) &&
                             (path.size() == kLocalMachine.size() || path[kLocalMachine.size()] == '\\');
            block = &b;
            if (seen)
                seen(blocks.size() - 1);
            block = &blocks.back();
        } else if (*q == '"' || *q == '@') {
            if (!block)
                return fail(QStringLiteral("a value before the first key"));
            // Filled in place: a copy of a half-written local costs more than the parse.
            ValueLine& v = values.emplace_back();
            v.lineStart = quint32(line.begin - base - block->start);
            const char* r;
            if (*q == '@') {
                v.flags = ValueLine::DefaultValue;
                v.nameStart = quint32(q - base - block->start);
                r = q + 1;
            } else {
                bool escaped = false;
                const char* close = q + 1;
                while (close < line.contentEnd && *close != '"' && *close != '\\')
                    ++close;
                if (close == line.contentEnd || *close == '\\')
                    close = scanQuoted(q + 1, line.contentEnd, &escaped, nullptr);
                if (!close)
                    return fail(QStringLiteral("the value name has no closing quote"));
                v.nameStart = quint32(q + 1 - base - block->start);
                v.nameLength = quint32(close - (q + 1));
                if (escaped)
                    v.flags = ValueLine::EscapedName;
                r = close + 1;
            }
            r = skipBlanks(r, line.contentEnd);
            if (r == line.contentEnd || *r != '=')
                return fail(QStringLiteral("a value line needs \"=\" after the name"));
            r = skipBlanks(r + 1, line.contentEnd);
            v.dataStart = quint32(r - base - block->start);
            int extraLines = 0;
            const auto scan =
                scanData(r, line.contentEnd, line.next, end, nullptr, nullptr, error, extraLines);
            lineNo += extraLines;
            if (!scan)
                return fail(error);
            v.lineLength = quint32(scan->next - line.begin);
            v.breakLength = quint8(scan->next - scan->contentEnd);
            ++block->valueCount;
            p = scan->next;
            ++lineNo;
            continue;
        } else if (!block) {
            return fail(QStringLiteral("unexpected text before the first key"));
        } else {
            return fail(QStringLiteral("a line that is neither a key, a value nor a comment"));
        }
        p = line.next;
        ++lineNo;
    }
    if (block)
        block->length = to - block->start;
    return std::nullopt;
}

std::optional<ParseError> parseText(QByteArrayView text, Layout& layout, const BlockSeen& seen)
{
    layout = Layout{};
    if (text.isEmpty())
        return std::nullopt;
    if (const auto* nul = static_cast<const char*>(std::memchr(text.data(), '\0', size_t(text.size()))))
        return ParseError{lineNumberAt(text, nul - text.data()),
                          QStringLiteral("binary data where text was expected")};

    const char* base = text.data();
    const char* end = base + text.size();
    const Line header = lineAt(base, end);
    const char* headerEnd = header.contentEnd;
    while (headerEnd > base && isBlank(headerEnd[-1]))
        --headerEnd;
    if (QByteArrayView(base, headerEnd - base) != kHeader)
        return ParseError{1, QStringLiteral("not a REGEDIT4 file (the first line must be REGEDIT4)")};
    if (header.next - header.contentEnd == 1)
        layout.lineBreak = "\n";

    const char* p = header.next;
    int lineNo = 2;
    while (p < end) {
        const Line line = lineAt(p, end);
        const char* q = skipBlanks(line.begin, line.contentEnd);
        if (q != line.contentEnd && *q != ';')
            break;
        p = line.next;
        ++lineNo;
    }
    layout.preambleEnd = p - base;
    // Rough counts of a regedit export, so the lists seldom grow.
    layout.blocks.reserve(size_t(text.size() / 512));
    layout.values.reserve(size_t(text.size() / 48));
    return parseBlocks(text, layout.preambleEnd, text.size(), lineNo, layout.blocks, layout.values, seen);
}

QByteArray valueName(QByteArrayView blockText, const ValueLine& line)
{
    if (line.flags & ValueLine::DefaultValue)
        return {};
    const char* p = blockText.data() + line.nameStart;
    if (!(line.flags & ValueLine::EscapedName))
        return QByteArray(p, line.nameLength);
    QByteArray name;
    scanQuoted(p, p + line.nameLength, nullptr, &name);
    return name;
}

bool valueNameEquals(QByteArrayView blockText, const ValueLine& line, QByteArrayView name)
{
    if (line.flags & ValueLine::DefaultValue)
        return name.isEmpty();
    if (!(line.flags & ValueLine::EscapedName))
        return namesEqual(blockText.sliced(line.nameStart, line.nameLength), name);
    return namesEqual(valueName(blockText, line), name);
}

bool decodeData(QByteArrayView blockText, const ValueLine& line, quint32& type, QByteArray& data)
{
    const char* begin = blockText.data();
    const char* end = begin + line.lineStart + line.lineLength;
    const char* p = begin + line.dataStart;
    const Line physical = lineAt(begin + line.lineStart, end);
    data.clear();
    QString error;
    int extraLines = 0;
    return scanData(p, physical.contentEnd, physical.next, end, &type, &data, error, extraLines).has_value();
}

QByteArray formatNamePrefix(QByteArrayView name)
{
    if (name.isEmpty())
        return QByteArrayLiteral("@=");
    QByteArray out;
    out.reserve(name.size() + 4);
    out.append('"');
    for (const char c : name) {
        if (c == '\\' || c == '"')
            out.append('\\');
        out.append(c);
    }
    out.append("\"=");
    return out;
}

QByteArray formatData(quint32 type, QByteArrayView data, qsizetype column, QByteArrayView lineBreak)
{
    QByteArray out;
    if (type == 1 && !data.contains('\0')) {
        out.reserve(data.size() + 2);
        out.append('"');
        for (const char c : data) {
            if (c == '\\' || c == '"')
                out.append('\\');
            out.append(c);
        }
        out.append('"');
        return out;
    }
    if (type == 4 && data.size() == 4) {
        const auto* b = reinterpret_cast<const uchar*>(data.data());
        const quint32 value = quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
        return "dword:" + QByteArray::number(value, 16).rightJustified(8, '0');
    }
    out = type == 3 ? QByteArray("hex:") : "hex(" + QByteArray::number(type, 16) + "):";
    out.reserve(out.size() + data.size() * 3 + data.size() / 25 * (lineBreak.size() + 3));
    // regedit's wrapping: a line is broken once it reaches 77 characters.
    qsizetype lineLength = column + out.size();
    static constexpr char digits[] = "0123456789abcdef";
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto b = uchar(data[i]);
        out.append(digits[b >> 4]);
        out.append(digits[b & 15]);
        if (i == data.size() - 1)
            break;
        out.append(',');
        lineLength += 3;
        if (lineLength >= 77) {
            out.append('\\');
            out.append(lineBreak);
            out.append("  ");
            lineLength = 2;
        }
    }
    return out;
}

QByteArray formatKeyLine(QByteArrayView localPath, QByteArrayView lineBreak)
{
    QByteArray out;
    out.reserve(localPath.size() + kLocalMachine.size() + 4 + lineBreak.size());
    out.append('[');
    out.append(kLocalMachine);
    if (!localPath.isEmpty()) {
        out.append('\\');
        out.append(localPath);
    }
    out.append(']');
    out.append(lineBreak);
    return out;
}

} // namespace velmora::regfile
