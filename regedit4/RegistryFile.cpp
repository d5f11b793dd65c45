#include "regedit4/RegistryFile.h"

#include "core/ByteSearch.h"

#include <array>
#include <cstdint>
#include <cstring>

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

// Where a line ends: its content (without the line break) stops at contentEnd, and the next
// line starts at next. Empty (next null) for no end. Two pointers, so it comes back in registers.
struct LineEnd {
    const char* contentEnd = nullptr;
    const char* next = nullptr;
    explicit operator bool() const { return next != nullptr; }
};

// The start of the next line when p stands at a line break ("\n", "\r\n", or "\r" at the end),
// end at the end; nullptr anywhere else.
inline const char* breakAt(const char* p, const char* end)
{
    if (p == end)
        return end;
    if (*p == '\n')
        return p + 1;
    if (*p == '\r' && (p + 1 == end || p[1] == '\n'))
        return p + 1 == end ? end : p + 2;
    return nullptr;
}

// The end of the line that holds p. No text may hold a NUL: nothing when one comes first (the
// search for the line's end is the one look at these bytes, so it is where a NUL is caught).
inline LineEnd lineEndFrom(const char* p, const char* end)
{
    const char* nl = findAny<'\n', '\0'>(p, end);
    if (nl && *nl == '\0')
        return {};
    LineEnd line{nl ? nl : end, nl ? nl + 1 : end};
    if (line.contentEnd > p && line.contentEnd[-1] == '\r')
        --line.contentEnd;
    return line;
}

const char* skipBlanks(const char* p, const char* end)
{
    while (p < end && isBlank(*p))
        ++p;
    return p;
}

// The end of the line when p stands at its break or at a comment; nothing otherwise.
inline LineEnd endsHere(const char* p, const char* end)
{
    if (end - p >= 2 && p[0] == '\r' && p[1] == '\n') // the usual case, without a search
        return LineEnd{p, p + 2};
    if (const char* next = breakAt(p, end))
        return LineEnd{p, next};
    if (*p == ';')
        return lineEndFrom(p, end);
    return {};
}

// After a value only blanks or a comment may follow: where its line ends, or nothing.
inline LineEnd restOfLine(const char* p, const char* end)
{
    return endsHere(skipBlanks(p, end), end);
}

// Text in quotes: \\ and \" are the only escapes; any other backslash stays as it is.
// p is just past the opening quote; returns the closing quote, or nullptr when there is none
// (or, when only looking for the end, a NUL comes first).
const char* scanQuoted(const char* p, const char* end, bool* escaped, QByteArray* out)
{
    if (!out) {
        // Only looking for the end: a quote closes unless an odd run of backslashes precedes it.
        for (const char* from = p;;) {
            const char* quote = findAny<'"', '\0'>(from, end);
            if (!quote || *quote == '\0')
                return nullptr;
            const char* run = quote;
            while (run > p && run[-1] == '\\')
                --run;
            if (((quote - run) & 1) == 0) {
                if (escaped && findAny<'\\'>(p, quote))
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

// Where and why a text could not be read.
struct Problem {
    const char* at = nullptr;
    QString what;
};

// Scans the data of a value line from p (just past "=" and its blanks); the text ends at end. A
// text or a hex list may go on over the following lines. Decodes into *data when given. Returns
// where the value's last line ends, or nothing with the problem.
// Inline: reading a file calls it for every value line without decoding, and the branches on
// type and data then fold away.
[[gnu::always_inline]] inline LineEnd scanData(const char* p, const char* end, quint32* type,
                                               QByteArray* data, Problem& problem)
{
    const auto fail = [&](const char* at, const QString& what) {
        problem = Problem{at, what};
        return LineEnd{};
    };
    if (p < end && *p == '"') {
        // regedit exports a text's line breaks as they are, inside the quotes: the text goes on
        // over the following lines up to its closing quote, the line breaks part of it.
        const char* close = scanQuoted(p + 1, end, nullptr, nullptr);
        if (!close)
            return fail(p, QStringLiteral("the text has no closing quote"));
        if (data) {
            if (findAny<'\\'>(p + 1, close))
                scanQuoted(p + 1, close + 1, nullptr, data);
            else
                data->append(p + 1, close - (p + 1));
        }
        const auto rest = restOfLine(close + 1, end);
        if (!rest)
            return fail(close, QStringLiteral("unexpected characters after the text"));
        if (type)
            *type = 1;
        return rest;
    }
    if (startsWithFolded(p, end, "dword:")) {
        p += 6;
        quint32 value = 0;
        int digits = 0;
        for (; p < end && hexDigit(*p) >= 0; ++p, ++digits)
            value = value << 4 | quint32(hexDigit(*p));
        const auto rest = digits > 0 && digits <= 8 ? restOfLine(p, end) : LineEnd{};
        if (!rest)
            return fail(p, QStringLiteral("a dword needs 1 to 8 hex digits"));
        if (type)
            *type = 4;
        if (data) {
            const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
            data->append(bytes, 4);
        }
        return rest;
    }
    if (startsWithFolded(p, end, "hex")) {
        p += 3;
        quint32 hexType = 3;
        if (p < end && *p == '(') {
            ++p;
            hexType = 0;
            int digits = 0;
            for (; p < end && hexDigit(*p) >= 0; ++p, ++digits)
                hexType = hexType << 4 | quint32(hexDigit(*p));
            if (digits == 0 || digits > 8 || p == end || *p != ')')
                return fail(p, QStringLiteral("a broken hex(n) type"));
            ++p;
        }
        if (p == end || *p != ':')
            return fail(p, QStringLiteral("a hex value needs \":\""));
        ++p;
        if (type)
            *type = hexType;
        if (data)
            data->reserve((end - p + 1) / 3);
        // Items are one or two hex digits separated by commas; a line ending in "\" goes on
        // with the next line, whose leading blanks do not count. As in Windows' importer, the
        // "\" must follow a comma (or the colon): "12,3\" is no list.
        bool itemDue = true; // at the start, or after a comma
        for (;;) {
            // The common form first: two digits and a comma.
            while (end - p >= 3 && p[2] == ',' && (hexDigit(p[0]) | hexDigit(p[1])) >= 0) {
                if (data)
                    data->append(char(hexDigit(p[0]) << 4 | hexDigit(p[1])));
                p += 3;
            }
            p = skipBlanks(p, end);
            if (const auto rest = endsHere(p, end))
                return rest;
            if (*p == '\\') {
                if (const char* next = breakAt(skipBlanks(p + 1, end), end)) {
                    if (!itemDue)
                        return fail(p, QStringLiteral("a broken hex list: \"\\\" must follow a comma"));
                    if (next == end)
                        return fail(
                            p, QStringLiteral("the hex list breaks off: its continuation line is missing"));
                    p = skipBlanks(next, end);
                    if (breakAt(p, end))
                        return fail(
                            p, QStringLiteral("the hex list breaks off: its continuation line is empty"));
                    if (*p == '\\' && breakAt(skipBlanks(p + 1, end), end))
                        return fail(p,
                                    QStringLiteral(
                                        "the hex list breaks off: its continuation line holds only \"\\\""));
                    continue;
                }
            }
            const int hi = hexDigit(*p);
            if (hi < 0)
                return fail(p, QStringLiteral("a broken hex list"));
            int byte = hi;
            ++p;
            if (p < end && hexDigit(*p) >= 0) {
                byte = byte << 4 | hexDigit(*p);
                ++p;
            }
            if (data)
                data->append(char(byte));
            p = skipBlanks(p, end);
            itemDue = p < end && *p == ',';
            if (itemDue) {
                ++p;
                continue;
            }
            if (breakAt(p, end) || *p == ';' || *p == '\\')
                continue;
            return fail(p, QStringLiteral("a broken hex list"));
        }
    }
    if (p < end && *p == '-')
        return fail(p, QStringLiteral("deleting values is not supported in the registry file"));
    return fail(p, QStringLiteral("the value's data is neither text, dword nor hex"));
}

int lineNumberAt(QByteArrayView text, qsizetype offset)
{
    return 1 + int(QByteArrayView(text).first(offset).count('\n'));
}

// The failure of a text that could not be read at offset, on its line. A NUL anywhere makes it
// binary rather than text, whatever else is wrong with it: that is the failure, on the NUL's line.
Failure failureAt(QByteArrayView text, qsizetype offset, const QString& what)
{
    if (const auto* nul = static_cast<const char*>(std::memchr(text.data(), '\0', size_t(text.size()))))
        return failure(QStringLiteral("binary data where text was expected"),
                       lineNumberAt(text, nul - text.data()));
    return failure(what, lineNumberAt(text, offset));
}

// The bytes that end a value's name in the quick scan: its closing quote, an escape, the end of
// the line or a NUL.
constexpr std::array<bool, 256> makeNameStops()
{
    std::array<bool, 256> t{};
    t['"'] = t['\\'] = t['\n'] = t['\0'] = true;
    return t;
}
constexpr std::array<bool, 256> kNameStops = makeNameStops();

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
    for (const char* s = path.data(); (s = findAny<'\\'>(s, end));)
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

Result<void> parseBlocks(QByteArrayView text, qsizetype from, qsizetype to, std::vector<Block>& blocks,
                         std::vector<ValueLine>& values, const BlockSeen& seen)
{
    const char* base = text.data();
    const char* end = base + to;
    const char* p = base + from;
    Block* block = nullptr;
    auto fail = [&](const char* at, const QString& what) { return failureAt(text, at - base, what); };

    // Each line is read once: a value line up to where its data ends, any other line by the
    // search for its end.
    while (p < end) {
        const char* q = skipBlanks(p, end);
        if (q < end && (*q == '"' || *q == '@')) {
            if (!block)
                return fail(p, QStringLiteral("a value before the first key"));
            // Filled in place: a copy of a half-written local costs more than the parse.
            ValueLine& v = values.emplace_back();
            v.lineStart = quint32(p - base - block->start);
            const char* r;
            if (*q == '@') {
                v.flags = ValueLine::DefaultValue;
                v.nameStart = quint32(q - base - block->start);
                r = q + 1;
            } else {
                bool escaped = false;
                const char* close = q + 1;
                while (close < end && !kNameStops[uchar(*close)])
                    ++close;
                if (close == end || *close != '"') {
                    // An escape, or no closing quote on the line: the name's quotes are looked
                    // for within its line.
                    const auto line = lineEndFrom(q, end);
                    close = line ? scanQuoted(q + 1, line.contentEnd, &escaped, nullptr) : nullptr;
                }
                if (!close)
                    return fail(p, QStringLiteral("the value name has no closing quote"));
                v.nameStart = quint32(q + 1 - base - block->start);
                v.nameLength = quint32(close - (q + 1));
                if (escaped)
                    v.flags = ValueLine::EscapedName;
                r = close + 1;
            }
            r = skipBlanks(r, end);
            if (r == end || *r != '=')
                return fail(p, QStringLiteral("a value line needs \"=\" after the name"));
            r = skipBlanks(r + 1, end);
            v.dataStart = quint32(r - base - block->start);
            Problem problem;
            const auto scan = scanData(r, end, nullptr, nullptr, problem);
            if (!scan)
                return fail(problem.at, problem.what);
            v.lineLength = quint32(scan.next - p);
            v.breakLength = quint8(scan.next - scan.contentEnd);
            ++block->valueCount;
            p = scan.next;
            continue;
        }
        const auto line = lineEndFrom(q, end);
        if (!line)
            return fail(p, QString());
        if (q == line.contentEnd || *q == ';') {
            // blank line or comment
        } else if (*q == '[') {
            const char* close = line.contentEnd;
            while (close > q && isBlank(close[-1]))
                --close;
            if (close == q + 1 || close[-1] != ']')
                return fail(p, QStringLiteral("a key line must end with \"]\""));
            --close;
            if (close == q + 1)
                return fail(p, QStringLiteral("a key line without a key"));
            if (q[1] == '-')
                return fail(p, QStringLiteral("deleting keys is not supported in the registry file"));
            if (block)
                block->length = (p - base) - block->start;
            Block& b = blocks.emplace_back();
            b.firstValue = quint32(values.size());
            b.start = p - base;
            b.keyLineLength = quint32(line.next - p);
            b.pathStart = quint32(q + 1 - p);
            b.pathLength = quint32(close - (q + 1));
            const QByteArrayView path(q + 1, close - (q + 1));
            b.localMachine = path.size() >= kLocalMachine.size() &&
                             (path.startsWith(kLocalMachine) ||
                              namesEqual(path.first(kLocalMachine.size()), kLocalMachine)) &&
                             (path.size() == kLocalMachine.size() || path[kLocalMachine.size()] == '\\');
            if (seen)
                seen(blocks.size() - 1);
            block = &blocks.back();
        } else if (!block) {
            return fail(p, QStringLiteral("unexpected text before the first key"));
        } else {
            return fail(p, QStringLiteral("a line that is neither a key, a value nor a comment"));
        }
        p = line.next;
    }
    if (block)
        block->length = to - block->start;
    return {};
}

Result<void> parseText(QByteArrayView text, Layout& layout, const BlockSeen& seen)
{
    layout = Layout{};
    if (text.isEmpty())
        return {};
    const char* base = text.data();
    const char* end = base + text.size();
    const auto header = lineEndFrom(base, end);
    const char* headerEnd = header ? header.contentEnd : base;
    while (headerEnd > base && isBlank(headerEnd[-1]))
        --headerEnd;
    if (!header || QByteArrayView(base, headerEnd - base) != kHeader)
        return failureAt(text, 0, QStringLiteral("not a REGEDIT4 file (the first line must be REGEDIT4)"));
    if (header.next - header.contentEnd == 1)
        layout.lineBreak = "\n";

    // Blank lines and comments up to the first key line belong to the header.
    const char* p = header.next;
    while (p < end) {
        const char* q = skipBlanks(p, end);
        const auto line = breakAt(q, end) || *q == ';' ? lineEndFrom(q, end) : LineEnd{};
        if (!line)
            break;
        p = line.next;
    }
    layout.preambleEnd = p - base;
    // Rough counts of a regedit export, so the lists seldom grow.
    layout.blocks.reserve(size_t(text.size() / 512));
    layout.values.reserve(size_t(text.size() / 48));
    return parseBlocks(text, layout.preambleEnd, text.size(), layout.blocks, layout.values, seen);
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
    data.clear();
    Problem problem;
    return bool(
        scanData(begin + line.dataStart, begin + line.lineStart + line.lineLength, &type, &data, problem));
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
