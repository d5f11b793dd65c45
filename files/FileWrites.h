#pragma once

#include "files/FileIdentity.h"

#include <QString>

namespace velmora {

// Every write into one file from the moment the watch begins: an inotify watch on the file itself
// rather than on its name, so a write in place is seen however small, within the clock tick that
// leaves the file's times as they were, and after the file has lost its name. A writer starts one
// before it reads a file and asks it once more after putting its own file in place, which is the
// last moment another program's write could still be lost.
class FileWrites {
public:
    FileWrites() = default; // watches nothing
    // Watches the file path names now (through a link, the file it leads to).
    explicit FileWrites(const QString& path);
    ~FileWrites();
    FileWrites(FileWrites&& other) noexcept;
    FileWrites& operator=(FileWrites&& other) noexcept;

    // Whether the watch is on the file id describes; when it is not, nothing can be told of it.
    bool watches(const FileIdentity& id) const;
    // Whether the file was written since the watch began. Never blocks.
    bool seen();

private:
    int m_fd = -1;
    FileIdentity m_file;
    bool m_seen = false;
};

} // namespace velmora
