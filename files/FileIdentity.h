#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

struct stat;

namespace velmora {

// What a file on disk was when it was looked at: enough to tell that it was replaced or written
// since (another inode, another size or modification time) without reading it.
struct FileIdentity {
    int error = -1; // 0 when the file exists; errno otherwise; -1 when never looked at
    quint64 device = 0, inode = 0, size = 0;
    qint64 modified = 0, changed = 0;
    bool operator==(const FileIdentity&) const = default;

    static FileIdentity of(const struct stat& st);
    // The file a path leads to, following links.
    static FileIdentity of(const QString& path);
    // The file at that path itself: a link is not followed.
    static FileIdentity ofPath(const QByteArray& path);
    static FileIdentity ofOpen(int fd);

    bool known() const { return error >= 0; }
    // Whether the file still holds the same contents as far as the file system tells: moving a
    // file (a rename) changes its status time, so that one does not count here.
    bool sameContents(const FileIdentity& other) const
    {
        return error == other.error && device == other.device && inode == other.inode && size == other.size &&
               modified == other.modified;
    }
};

} // namespace velmora
