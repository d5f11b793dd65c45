#pragma once

#include "platform/FileIdentity.h"

#include <QByteArray>
#include <QString>

namespace velmora {

// Tells cheaply whether a file changed since the last look, so a store that is asked many times
// a second does not have to look the file up on disk each time, and sees a change that leaves
// the file's size and times as they were. Watches the file's folder (inotify), since a file
// replaced by a rename is a new file.
class FileChangeWatch {
public:
    explicit FileChangeWatch(const QString& filePath);
    ~FileChangeWatch();
    FileChangeWatch(const FileChangeWatch&) = delete;
    FileChangeWatch& operator=(const FileChangeWatch&) = delete;

    enum class Seen {
        Nothing, // nothing happened to the file since the previous look
        Change,  // the file was written, replaced, created or removed
        Unknown, // the folder is not watched (or this is the first look): look at the file itself
    };
    // What happened to the file since the previous look. Never blocks.
    Seen look();
    // Whether the file is no longer the one loaded: as the watch saw it, or else by comparing
    // its identity now (current()) with the loaded one.
    template <typename Identify> bool changedSince(const FileIdentity& loaded, Identify current)
    {
        switch (look()) {
        case Seen::Nothing:
            return false;
        case Seen::Change:
            return true;
        case Seen::Unknown:
            break;
        }
        return current() != loaded;
    }

private:
    void start();

    QString m_path;
    QByteArray m_name;
    int m_fd = -1;
    bool m_started = false;
};

} // namespace velmora
