#pragma once

#include <QString>

#include <optional>

namespace velmora {

// The emulated Windows 98 machine: <root>/drive_c is drive C, <root>/system.reg holds
// HKEY_LOCAL_MACHINE. Every file the program reads or writes lies inside it.
class MachineFolder {
public:
    explicit MachineFolder(QString root);

    // <XDG data home>/velmora/machine
    static QString defaultLocation();

    const QString& root() const { return m_root; }
    QString driveC() const;       // <root>/drive_c
    QString registryFile() const; // <root>/system.reg

    // Creates the folder when it does not exist and seeds a folder that is missing or empty
    // with a Windows 98 SE configuration. An existing, non-empty folder is used as it is and
    // never overwritten. False, with the reason, when the folder cannot be created or written.
    bool prepare(QString* reason = nullptr) const;

    // Maps a Windows path on drive C ("c:\windows\win.ini") to the host path inside drive_c.
    // The drive letter and every existing component match case-insensitively (as FAT names
    // do); a component that does not exist yet keeps the case given. "/" counts as "\".
    // Empty components and "." are skipped, and dots and spaces at the end of a name are
    // ignored, as Windows does; when several host names differ only in case, the first in
    // code-unit order is used. A path on another drive, a relative path, a network path, a
    // name a FAT volume cannot hold (control characters, <>:"|?*), any ".." (or "...")
    // component, or a link leading out of drive_c gives nothing, with the reason.
    std::optional<QString> hostPath(QStringView windowsPath, QString* reason = nullptr) const;

private:
    QString m_root;
};

} // namespace velmora
