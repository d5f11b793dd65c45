#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>

// Small file helpers shared by the platform tests.
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

// Readable failure output for byte strings ("\r\n" shown as escapes).
QT_BEGIN_NAMESPACE
inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << '"';
    for (const char c : bytes) {
        switch (c) {
        case '\r':
            *os << "\\r";
            break;
        case '\n':
            *os << "\\n";
            break;
        case '\t':
            *os << "\\t";
            break;
        case '"':
            *os << "\\\"";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
                static const char* hex = "0123456789ABCDEF";
                *os << "\\x" << hex[(c >> 4) & 0xF] << hex[c & 0xF];
            } else {
                *os << c;
            }
        }
    }
    *os << '"';
}
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE
