#pragma once

#include "core/Result.h"

#include <QList>
#include <QString>

namespace velmora {

// Whether another program is using a disk image, and a hold on an image while Velmora has it.
// Changing an image under a running virtual machine corrupts it, so the checks name who holds
// it: QEMU's locks (byte-range locks on the image file, taken by qemu-system, qemu-nbd and
// qemu-io, seen whoever runs them), a process of this user with the file open (emulators that
// take no lock: found by the device and inode of /proc/PID/fd links), and the folder
// "<image>.lck" that VMware keeps beside a disk while it runs. Not seen: another user's process
// that takes no lock, and a machine suspended with its state saved.

// A process with the file open.
struct ImageHolder {
    qint64 pid = 0;
    QString program;
    bool operator==(const ImageHolder&) const = default;
};

// The processes, other than this one and those ignored, that have the file open.
QList<ImageHolder> processesHoldingFile(const QString& path, const QList<qint64>& ignored = {});

// Refuses, with the image's file name, the program's name and its process id, an image that is
// in use. ourProcesses are Velmora's own helpers on the image (its qemu-nbd child): their hold
// and their locks do not count. Run when the image is opened and again before every save.
Result<void> checkImageNotInUse(const QString& imagePath, const QList<qint64>& ourProcesses = {});

// QEMU's locks on an image, held while Velmora has it open so a virtual machine, qemu-nbd or
// qemu-img started meanwhile refuses the image. Held the way a QEMU writer holds them: bytes
// 100 and 101 (it reads and writes) and 201 (nobody else may write). Only for an image Velmora
// reaches itself: one served by its own qemu-nbd child is held by that child's locks already,
// and a hold would make the child refuse to start; such an image is only watched.
class ImageHold {
public:
    ImageHold() = default;
    ~ImageHold();
    ImageHold(ImageHold&& other) noexcept;
    ImageHold& operator=(ImageHold&& other) noexcept;
    ImageHold(const ImageHold&) = delete;
    ImageHold& operator=(const ImageHold&) = delete;

    // Takes the locks, then checks as checkImageNotInUse does; refuses, holding nothing, when
    // the image is in use.
    static Result<ImageHold> take(const QString& imagePath);
    // Takes no locks and checks nothing yet: for an image our own qemu-nbd serves and holds.
    static Result<ImageHold> watch(const QString& imagePath);
    // checkImageNotInUse with this hold's own locks not counted: the check before every save.
    // The processes are looked through again only when the file was opened since the last look
    // found nobody but ourProcesses (the kernel tells of every open of it), when ourProcesses
    // changed, or when its path names another file.
    Result<void> checkNotInUse(const QList<qint64>& ourProcesses = {});
    bool held() const { return m_fd >= 0; }

private:
    static Result<ImageHold> opened(const QString& imagePath);
    void watchOpens();
    void release();
    bool openedSinceLastLook();
    bool stillNamedByPath() const;

    QString m_path;
    int m_fd = -1;
    int m_opens = -1; // an inotify watch on the file's opens; -1: none, every check looks
    bool m_lookAgain = true;
    bool m_oursHoldIt = false; // as the last look found
    QList<qint64> m_oursAtLastLook;
};

} // namespace velmora
