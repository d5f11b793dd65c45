#pragma once

#include "core/Result.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace velmora {

class Drive;

// A machine as the user names it: its root and, for a disk image, the partition Windows is on
// (numbered as fdisk numbers them; none: found on the disk).
struct MachineName {
    MachineName(QString root, std::optional<int> partition = {}) // NOLINT: a root alone names one
        : root(std::move(root)), partition(partition)
    {
    }
    QString root;
    std::optional<int> partition;
};

// The Windows 98 machine that every read and write goes to, in one of two kinds:
// - a machine folder: <root>/drive_c is drive C, <root>/system.reg holds HKEY_LOCAL_MACHINE
//   as REGEDIT4 text;
// - a real drive: <root> is drive C of a Windows 95/98/Me installation (a mounted disk image or
//   a copy of one), its Windows folder is the one MSDOS.SYS names in [Paths] WinDir= (else
//   WINDOWS), and HKEY_LOCAL_MACHINE is that folder's binary SYSTEM.DAT.
// A root that holds drive_c/ is a machine folder; otherwise one that holds MSDOS.SYS, or a
// WINDOWS folder with SYSTEM.DAT, is a drive (names matched case-insensitively, as on FAT);
// a regular file is a virtual disk image holding such a drive (opened and held while the object
// lives); anything else (a missing or empty folder too) is a machine folder. The kind is decided
// once, when the object is made. Every file the program reads or writes lies inside the root.
class MachineFolder {
public:
    enum class Kind { Folder, Drive, Image };

    // A partition named for anything but a disk image makes the machine unusable (prepare() says
    // why): it cannot have meant this one.
    explicit MachineFolder(const MachineName& name);

    // Where the machine's files are read and written. On an image, the paths hostPath gives
    // are below the volume's root ("WINDOWS\WIN.INI").
    Drive& drive() const { return *m_drive; }
    // On an image, what opening it found of a save that was cut short; otherwise empty.
    const QString& notice() const { return m_notice; }
    // On an image that opened, the partition drive C is on (0: the whole disk); otherwise none.
    std::optional<int> partition() const { return m_partition; }

    // <XDG data home>/velmora/machine
    static QString defaultLocation();

    const QString& root() const { return m_root; }
    Kind kind() const { return m_kind; }
    QString driveC() const;        // <root>/drive_c, or <root> itself on a drive or an image (or an image)
    QString windowsFolder() const; // the host folder "c:\windows" stands for
    // <root>/system.reg (REGEDIT4), or <Windows folder>/SYSTEM.DAT on a drive.
    QString registryFile() const;

    // What prepare() may do where no machine is yet: a missing or empty folder.
    enum class Creation {
        SeedWhenEmpty, // the default machine folder: made and seeded on first start
        MustExist,     // a machine the user named: a missing or empty folder is refused
        New,           // a machine made on purpose: refused unless missing or empty
    };

    // Makes the machine ready: a machine folder that does not exist or is empty is created and
    // seeded with a Windows 98 SE configuration when creation allows it; an existing, non-empty
    // one is used as it is and never overwritten. A drive is never seeded: it must have its
    // Windows folder and that folder's SYSTEM.DAT. The reason (naming the file) when the
    // machine cannot be used.
    Result<void> prepare(Creation creation = Creation::SeedWhenEmpty) const;

    // Maps a Windows path on drive C ("c:\windows\win.ini") to the host path inside drive_c.
    // On a drive, a path whose first folder is "windows" leads into the real Windows folder
    // (WinDir=C:\WIN98 puts "c:\windows\win.ini" in WIN98), since that is the file Windows reads.
    // The drive letter and every existing component match case-insensitively (as FAT names
    // do); a component that does not exist yet keeps the case given. "/" counts as "\".
    // Empty components and "." are skipped, and dots and spaces at the end of a name are
    // ignored, as Windows does; when several host names differ only in case, the first in
    // code-unit order is used. A path on another drive, a relative path, a network path, a
    // name a FAT volume cannot hold (control characters, <>:"|?*), any ".." (or "...")
    // component, or a link leading out of drive_c is refused, with the reason.
    Result<QString> hostPath(QStringView windowsPath) const;

private:
    void recogniseDrive();
    void openImage(std::optional<int> partition);
    void findWindowsFolder(bool namedByMsdosSys, QString windowsDir);
    void mapWindowsFolder(QStringList& components) const;
    Result<bool> registryPresent() const;

    QString m_root;
    Kind m_kind = Kind::Folder;
    QStringList m_windowsPath; // the Windows folder's names below the drive's root
    QString m_problem;         // why the drive cannot be used, when it cannot
    QString m_notice;
    std::optional<int> m_partition;
    std::shared_ptr<Drive> m_drive;
};

} // namespace velmora
