#pragma once

#include <QByteArray>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// How many elements (bytes, or a file's lines) of after lie between the start and the end it
// shares with before, the end never reaching into the common start: what an edit changed.
template <typename Sequence> qsizetype changedMiddle(const Sequence& before, const Sequence& after)
{
    qsizetype head = 0, tail = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head])
        ++head;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    return after.size() - head - tail;
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
    QString text;
    QDebug(&text).nospace() << bytes;
    *os << text.toStdString();
}
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE
