#pragma once

#include "core/Found.h"
#include "core/Result.h"
#include "files/AtomicFile.h"

#include <QByteArray>
#include <QString>

namespace velmora {

// Drive C of a machine as the programs' files see it: a folder of the host (a machine folder's
// drive_c, or the root of a real drive) or the FAT volume inside a disk image. Paths are the
// ones MachineFolder::hostPath gives for this drive.
class Drive {
public:
    virtual ~Drive() = default;

    // Reads an ordinary file whole, refusing one beyond limit; missing when no file is there.
    virtual Result<Found<QByteArray>> readIfPresent(const QString& path, qint64 limit) = 0;
    // Whether a folder stands at path.
    virtual bool isFolder(const QString& path) = 0;
    // The folder that holds path.
    virtual QString folderOf(const QString& path) const = 0;
    // Reads the file, edits it and puts the result in place as one atomic change; when another
    // program changed the file meanwhile, the edit is made again on what it wrote. A file the
    // drive keeps read-only is refused before the edit is asked, unless readOnly says Written;
    // a replaced one keeps the mark. Every failure names the file.
    virtual Result<void> edit(const QString& path, const FileEdit& edit, ReadOnlyFile readOnly) = 0;
};

// A folder of the host as drive C: today's file functions, every link held inside the folder.
class HostDrive final : public Drive {
public:
    explicit HostDrive(QString root) : m_root(std::move(root)) {}

    Result<Found<QByteArray>> readIfPresent(const QString& path, qint64 limit) override;
    bool isFolder(const QString& path) override;
    QString folderOf(const QString& path) const override;
    Result<void> edit(const QString& path, const FileEdit& edit, ReadOnlyFile readOnly) override;

private:
    QString m_root;
};

} // namespace velmora
