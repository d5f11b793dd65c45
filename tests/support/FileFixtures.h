#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>

// Small file helpers shared by the tests: host files, byte output, write failures.
namespace velmora::testing {

inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                  QDir::Name);
}

// A file rewritten by rename gets a new inode; one left alone keeps it.
inline ino_t inodeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

inline QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// How far two sequences (bytes, or a file's lines) agree from the start and from the end, the
// end never reaching into the common start: what lies between is what an edit changed.
struct CommonEnds {
    qsizetype head = 0, tail = 0;
};
template <typename Sequence> CommonEnds commonEnds(const Sequence& before, const Sequence& after)
{
    CommonEnds e;
    while (e.head < before.size() && e.head < after.size() && before[e.head] == after[e.head])
        ++e.head;
    while (e.tail < before.size() - e.head && e.tail < after.size() - e.head &&
           before[before.size() - 1 - e.tail] == after[after.size() - 1 - e.tail])
        ++e.tail;
    return e;
}

// An excerpt of a real Windows 9x machine's HKEY_LOCAL_MACHINE as regedit exports it.
inline QByteArray win98Excerpt()
{
    return readBytes(QStringLiteral(VELMORA_TEST_DATA "/win98-system-excerpt.reg"));
}

// Runs body in a forked child whose files may not grow beyond limit bytes (SIGXFSZ ignored, so
// the write fails with EFBIG instead of killing the child). The body's int is the exit code.
// Running as root cannot make a file unwritable; a size limit can.
template <typename Body> int exitCodeUnderFileSizeLimit(rlim_t limit, Body body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace velmora::testing

// Readable failure output for byte strings (line breaks, quotes and other bytes escaped).
QT_BEGIN_NAMESPACE
inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    static const char* hex = "0123456789ABCDEF";
    *os << '"';
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n' || c == '"')
            *os << '\\' << (c == '\r' ? 'r' : c == '\n' ? 'n' : '"');
        else if (byte < 0x20 || byte >= 0x7F)
            *os << "\\x" << hex[byte >> 4] << hex[byte & 0xF];
        else
            *os << c;
    }
    *os << '"';
}
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE
