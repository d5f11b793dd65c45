#include "profile/ProfileWriter.h"

#include "core/AnsiCodePage.h"
#include "files/AtomicFile.h"
#include "files/Drive.h"
#include "machine/Backups.h"
#include "machine/MachineFolder.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace velmora {
namespace {

constexpr char kCtrlZ = '\x1A';
constexpr QByteArrayView kCrLf("\r\n");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

QByteArrayView trimmedBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalsIgnoringAsciiCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

struct Arguments {
    QByteArrayView section;
    QByteArrayView key;
    QByteArrayView value;
};

// A line break would split the entry, a NUL would cut it short for any C reader, and a Ctrl-Z
// ends the file for DOS-style readers; none of them can be stored in an INI line.
bool holdsForbiddenByte(QByteArrayView text)
{
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == '\0' || c == kCtrlZ)
            return true;
    }
    return false;
}

Result<Arguments> checkArguments(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    auto refuse = [](const char* why) -> Result<Arguments> { return failure(QString::fromLatin1(why)); };
    // Blanks around a name are not part of it: the file's own names are read without them.
    const Arguments args{trimmedBlanks(section), trimmedBlanks(key), value};
    if (holdsForbiddenByte(args.section))
        return refuse("the section name holds a line break or control character");
    if (holdsForbiddenByte(args.key))
        return refuse("the key name holds a line break or control character");
    if (holdsForbiddenByte(args.value))
        return refuse("the value holds a line break or control character");
    if (args.section.isEmpty())
        return refuse("the section name is empty");
    if (args.key.isEmpty())
        return refuse("the key name is empty");
    if (args.section.contains(']'))
        return refuse("the section name holds \"]\"");
    if (args.key.contains('='))
        return refuse("the key name holds \"=\"");
    // Such a line would read back as a comment or as a section header.
    if (args.key.front() == ';')
        return refuse("a key name starting with \";\" would be a comment");
    if (args.key.front() == '[')
        return refuse("a key name starting with \"[\" would be a section header");
    return args;
}

struct Line {
    qsizetype begin; // first byte
    qsizetype end;   // one past the content, where its line end starts
    qsizetype next;  // one past the line end
    bool terminated() const { return next > end; }
};

Line lineAt(const char* data, qsizetype begin, qsizetype limit)
{
    qsizetype end = begin;
    while (end < limit && !isLineEnd(data[end]))
        ++end;
    qsizetype next = end;
    if (next < limit) {
        if (data[next] == '\r' && next + 1 < limit && data[next + 1] == '\n')
            next += 2;
        else
            next += 1;
    }
    return {begin, end, next};
}

// Whether the header whose "[" stands at open names section. The name ends at the first "]" (or
// with the line) and blanks around it do not count; what follows the "]" is ignored. The
// section holds no "]" and no line end, so comparing in place gives the same answer as cutting
// the name out first, and most headers are told apart by their first letter.
bool headerNames(const char* data, qsizetype open, qsizetype limit, QByteArrayView section)
{
    qsizetype pos = open + 1;
    while (pos < limit && isBlank(data[pos]))
        ++pos;
    if (limit - pos < section.size())
        return false;
    for (const char c : section) {
        if (asciiLower(data[pos++]) != asciiLower(c))
            return false;
    }
    while (pos < limit && isBlank(data[pos]))
        ++pos;
    return pos == limit || data[pos] == ']' || isLineEnd(data[pos]);
}

// Where the header line of the first section named `section` ends, or -1. Only the '['
// characters are visited, so a large file is crossed at the speed of memchr.
qsizetype findSectionBody(const char* data, qsizetype limit, QByteArrayView section, bool* headerTerminated)
{
    // Most headers differ from the wanted one in their first letter; that test is kept cheap.
    const char firstLower = asciiLower(section.front());
    const char firstUpper =
        (firstLower >= 'a' && firstLower <= 'z') ? char(firstLower - 'a' + 'A') : firstLower;
    qsizetype pos = 0;
    while (pos < limit) {
        const void* found = std::memchr(data + pos, '[', size_t(limit - pos));
        if (!found)
            return -1;
        const qsizetype open = static_cast<const char*>(found) - data;
        pos = open + 1;
        const char first = pos < limit ? data[pos] : '\0';
        if (first != firstLower && first != firstUpper && first != ' ' && first != '\t')
            continue;
        qsizetype lineStart = open;
        while (lineStart > 0 && isBlank(data[lineStart - 1]))
            --lineStart;
        if (lineStart > 0 && !isLineEnd(data[lineStart - 1]))
            continue; // a '[' inside a line
        if (headerNames(data, open, limit, section)) {
            const Line header = lineAt(data, lineStart, limit);
            *headerTerminated = header.terminated();
            return header.next;
        }
    }
    return -1;
}

// Whether the last line of text (terminated or not) holds nothing but blanks.
bool lastLineIsBlank(QByteArrayView text)
{
    qsizetype end = text.size();
    if (text.endsWith(kCrLf))
        end -= 2;
    else if (end > 0 && isLineEnd(text[end - 1]))
        end -= 1;
    while (end > 0 && isBlank(text[end - 1]))
        --end;
    return end == 0 || isLineEnd(text[end - 1]);
}

QByteArray joined(std::initializer_list<QByteArrayView> parts)
{
    qsizetype size = 0;
    for (const QByteArrayView part : parts)
        size += part.size();
    QByteArray out;
    out.reserve(size);
    for (const QByteArrayView part : parts)
        out.append(part);
    return out;
}

// One edit of the file: the bytes [from, to) give way to text.
struct Splice {
    qsizetype from;
    qsizetype to;
    QByteArray text;
};

// The text proper: DOS editors end a file with Ctrl-Z, and the mark stays last.
qsizetype textLimit(const QByteArray& file)
{
    qsizetype limit = file.size();
    while (limit > 0 && file[limit - 1] == kCtrlZ)
        --limit;
    return limit;
}

// What a section's body says of a key: the line holding it (its name as spelled there and where
// its value starts), or else where a new key goes: after the section's last key line.
struct KeyLook {
    std::optional<Line> line;
    QByteArrayView name;
    const char* value = nullptr;
    qsizetype insertAt = 0;
    bool insertAfterUnterminated = false;
};

KeyLook findKey(const char* data, qsizetype body, bool headerTerminated, qsizetype limit, QByteArrayView key)
{
    KeyLook look{std::nullopt, {}, nullptr, body, !headerTerminated};
    for (qsizetype pos = body; pos < limit;) {
        const Line line = lineAt(data, pos, limit);
        pos = line.next;
        const QByteArrayView content =
            trimmedBlanks(QByteArrayView(data + line.begin, line.end - line.begin));
        if (content.isEmpty() || content.front() == ';')
            continue;
        if (content.front() == '[')
            break; // the next section
        const qsizetype equals = content.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArrayView name = trimmedBlanks(content.first(equals));
        if (equalsIgnoringAsciiCase(name, key)) {
            look.line = line;
            look.name = name;
            look.value = content.data() + equals + 1;
            return look;
        }
        look.insertAt = line.next;
        look.insertAfterUnterminated = !line.terminated();
    }
    return look;
}

// The one change that writing the entry makes, or nothing when the file already holds it.
std::optional<Splice> planEdit(const QByteArray& file, const Arguments& args)
{
    const char* data = file.constData();
    const qsizetype limit = textLimit(file);
    bool headerTerminated = true;
    const qsizetype body = findSectionBody(data, limit, args.section, &headerTerminated);
    if (body < 0) {
        const QByteArrayView text(data, limit);
        const bool needsLineEnd = !text.isEmpty() && !isLineEnd(text.back());
        const bool needsBlankLine = !text.isEmpty() && !lastLineIsBlank(text);
        return Splice{
            limit, limit,
            joined({needsLineEnd ? kCrLf : QByteArrayView(), needsBlankLine ? kCrLf : QByteArrayView(), "[",
                    args.section, "]\r\n", args.key, "=", args.value, kCrLf})};
    }
    const KeyLook look = findKey(data, body, headerTerminated, limit, args.key);
    if (look.line) {
        if (QByteArrayView(look.value, data + look.line->end - look.value) == args.value)
            return std::nullopt;
        return Splice{look.line->begin, look.line->next, joined({look.name, "=", args.value, kCrLf})};
    }
    return Splice{
        look.insertAt, look.insertAt,
        joined({look.insertAfterUnterminated ? kCrLf : QByteArrayView(), args.key, "=", args.value, kCrLf})};
}

// "c:\windows\win.ini" -> "c:\windows"
QString windowsFolderOf(const QString& windowsPath)
{
    const qsizetype cut = std::max(windowsPath.lastIndexOf(u'\\'), windowsPath.lastIndexOf(u'/'));
    return cut < 0 ? windowsPath : windowsPath.left(cut);
}

} // namespace

Result<QByteArray> editProfileText(const QByteArray& file, const QByteArray& section, const QByteArray& key,
                                   const QByteArray& value)
{
    const Result<Arguments> args = checkArguments(section, key, value);
    if (!args)
        return failure(args.reason());
    const std::optional<Splice> splice = planEdit(file, *args);
    if (!splice)
        return file;
    QByteArray edited;
    edited.reserve(file.size() - (splice->to - splice->from) + splice->text.size());
    edited.append(file.constData(), splice->from);
    edited.append(splice->text);
    edited.append(file.constData() + splice->to, file.size() - splice->to);
    return edited;
}

Result<void> checkProfileEntry(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    if (const Result<Arguments> args = checkArguments(section, key, value); !args)
        return failure(args.reason());
    return {};
}

std::optional<QByteArray> profileValue(const QByteArray& file, QByteArrayView section, QByteArrayView key)
{
    section = trimmedBlanks(section);
    key = trimmedBlanks(key);
    if (section.isEmpty() || key.isEmpty())
        return std::nullopt;
    const char* data = file.constData();
    const qsizetype limit = textLimit(file);
    bool headerTerminated = true;
    const qsizetype body = findSectionBody(data, limit, section, &headerTerminated);
    if (body < 0)
        return std::nullopt;
    const KeyLook look = findKey(data, body, headerTerminated, limit, key);
    if (!look.line)
        return std::nullopt;
    return trimmedBlanks(QByteArrayView(look.value, data + look.line->end - look.value)).toByteArray();
}

int ProfileWriter::WritePrivateProfileStringA(const QByteArray& appName, const QByteArray& keyName,
                                              const QByteArray& string, const QByteArray& fileName)
{
    auto fail = [this](const QString& why) {
        m_lastError = why;
        return 0;
    };
    const Result<Arguments> args = checkArguments(appName, keyName, string);
    if (!args)
        return fail(args.reason());

    const QString windowsPath = fromAnsi(fileName);
    const Result<QString> host = m_machine.hostPath(windowsPath);
    if (!host)
        return fail(host.reason());

    Drive& drive = m_machine.drive();
    if (drive.isFolder(*host))
        return fail(QStringLiteral("a folder stands in the file's place"));
    if (!drive.isFolder(drive.folderOf(*host)))
        return fail(QStringLiteral("the folder %1 does not exist").arg(windowsFolderOf(windowsPath)));

    std::optional<QByteArray> installed; // what the write put in place, when it changed the file
    const Result<void> written = drive.edit(
        *host,
        [&](const Found<QByteArray>& current) -> Result<FileChange> {
            QByteArray text = current.value;
            const std::optional<Splice> splice = planEdit(text, *args);
            if (current.isPresent() && !splice)
                return FileChange::keep();
            if (splice) // in place: a large file is neither copied nor, with [Ports] near its end, moved
                text.replace(splice->from, splice->to - splice->from, splice->text);
            if (m_backups) {
                if (const Result<void> kept = m_backups->beforeChange(*host); !kept)
                    return failure(kept.reason());
            }
            installed = text;
            return FileChange::replaceWith(std::move(text));
        },
        ReadOnlyFile::Refused);
    if (!written)
        return fail(written.reason());
    if (m_backups && installed)
        (void)m_backups->afterChange(*host, *installed); // the change stands; only its digest is missing
    m_lastError.clear();
    return 1;
}

} // namespace velmora
