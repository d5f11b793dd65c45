#include "disk/NbdDevice.h"

#include "disk/ByteFields.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <libnbd.h>

#include <vector>

namespace velmora {

namespace {

// The server takes requests of at most 32 MiB; longer transfers go in pieces.
constexpr qint64 largestRequest = 32 * 1024 * 1024;

// What qemu-nbd said on failing to start, as one line.
QString serverComplaint(QTemporaryFile& log)
{
    log.seek(0);
    const QStringList lines =
        QString::fromLocal8Bit(log.read(4096)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.join(QLatin1Char(' ')).simplified();
}

} // namespace

Result<std::unique_ptr<NbdDevice>> NbdDevice::open(const QString& path, const QString& driver,
                                                   ImageAccess access)
{
    const QString name = QFileInfo(path).fileName();
    // qemu-nbd's complaints go to a file of our own rather than to this program's stderr, so a
    // refusal (the image locked by a running machine) can be told to the user.
    QTemporaryFile log;
    if (!log.open())
        return failure(
            QStringLiteral("%1: no temporary file for qemu-nbd's messages: %2").arg(name, log.errorString()));

    // An absolute path never reads as a QEMU protocol prefix ("nbd:", "json:"), whatever the
    // file is called; "--" keeps a name starting with "-" from reading as an option.
    const QByteArray image = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const QByteArray logPath = QFile::encodeName(log.fileName());
    const QByteArray format = driver.toLatin1();
    // The shell only redirects stderr and execs, so qemu-nbd keeps the process id libnbd
    // announced to it in LISTEN_PID.
    std::vector<QByteArray> args{"/bin/sh", "-c",    "log=$1; shift; exec \"$@\" 2>\"$log\"",
                                 "sh",      logPath, "qemu-nbd",
                                 "-f",      format,  "--cache=writeback"};
    if (access == ImageAccess::ReadOnly)
        args.emplace_back("--read-only");
    args.emplace_back("--");
    args.push_back(image);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (QByteArray& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    nbd_handle* handle = nbd_create();
    if (handle == nullptr)
        return failure(QStringLiteral("%1: %2").arg(name, QString::fromLocal8Bit(nbd_get_error())));
    if (nbd_connect_systemd_socket_activation(handle, argv.data()) == -1) {
        const QString libraryError = QString::fromLocal8Bit(nbd_get_error());
        nbd_close(handle);
        const QString said = serverComplaint(log);
        if (said.contains(QLatin1String("Failed to get")) && said.contains(QLatin1String("lock")))
            return failure(
                QStringLiteral("%1 is in use: another program (a virtual machine, or qemu-nbd) holds "
                               "QEMU's lock on it; shut it down first (%2)")
                    .arg(name, said));
        return failure(QStringLiteral("%1: qemu-nbd could not open it as %2: %3")
                           .arg(name, driver, said.isEmpty() ? libraryError : said));
    }
    const int64_t size = nbd_get_size(handle);
    if (size < 0) {
        const QString reason = QString::fromLocal8Bit(nbd_get_error());
        nbd_close(handle);
        return failure(QStringLiteral("%1: %2").arg(name, reason));
    }
    if (access == ImageAccess::ReadWrite && nbd_is_read_only(handle) == 1) {
        nbd_close(handle);
        return failure(QStringLiteral("%1: the image can only be read").arg(name));
    }
    return std::unique_ptr<NbdDevice>(new NbdDevice(name, handle, size));
}

NbdDevice::NbdDevice(QString name, nbd_handle* handle, qint64 size)
    : m_name(std::move(name)), m_handle(handle), m_size(size)
{
}

NbdDevice::~NbdDevice()
{
    // Ends the connection; qemu-nbd, serving only us, then exits and is reaped.
    nbd_shutdown(m_handle, 0);
    nbd_close(m_handle);
}

Failure NbdDevice::lastError() const
{
    return failure(QStringLiteral("%1: %2").arg(m_name, QString::fromLocal8Bit(nbd_get_error())));
}

Result<QByteArray> NbdDevice::read(qint64 offset, qint64 length)
{
    if (!fitsInside(offset, length, m_size))
        return failure(QStringLiteral("%1: a read past the end of the disk").arg(m_name));
    QByteArray bytes(length, Qt::Uninitialized);
    for (qint64 done = 0; done < length;) {
        const qint64 piece = qMin(largestRequest, length - done);
        if (nbd_pread(m_handle, bytes.data() + done, size_t(piece), uint64_t(offset + done), 0) == -1)
            return lastError();
        done += piece;
    }
    return bytes;
}

Result<void> NbdDevice::write(qint64 offset, QByteArrayView bytes)
{
    if (!fitsInside(offset, bytes.size(), m_size))
        return failure(QStringLiteral("%1: a write past the end of the disk").arg(m_name));
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 piece = qMin(largestRequest, bytes.size() - done);
        if (nbd_pwrite(m_handle, bytes.data() + done, size_t(piece), uint64_t(offset + done), 0) == -1)
            return lastError();
        done += piece;
    }
    return {};
}

Result<void> NbdDevice::flush()
{
    if (nbd_flush(m_handle, 0) == -1)
        return lastError();
    return {};
}

} // namespace velmora
