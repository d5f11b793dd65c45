#pragma once

#include <QString>

#include <QtGlobal>

namespace velmora {

// What tells one version of a file from another without reading it: a file replaced by a
// rename has a new inode, one written in place new times or a new size.
struct FileIdentity {
    int error = -1; // 0 when the file exists; errno otherwise; -1 when never looked at
    quint64 device = 0, inode = 0, size = 0;
    qint64 modified = 0, changed = 0;
    bool operator==(const FileIdentity&) const = default;

    static FileIdentity of(const QString& path);
    static FileIdentity ofOpen(int fd);
};

} // namespace velmora
