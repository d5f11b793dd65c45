#pragma once

#include "files/FileIdentity.h"

#include <QByteArray>
#include <QString>

namespace velmora {

// Tells cheaply whether a file changed since the last look, so a store that is asked many times
// a second does not have to look the file up on disk each time, and sees a change that leaves
// the file's size and times as they were. Watches the file's folder (inotify), since a file
// replaced by a rename is a new file. A file that is a link is not watched (its folder's events
// tell nothing of the file it points to): each look is then Unknown.
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
    // Tells the watch that the caller has just replaced the file itself. The events of that write
    // are taken out, but so may be those of another program's change that came right after it,
    // so the next look is Unknown unless news came since: the caller then compares identities.
    void ownWrite();
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
    bool m_unsure = false; // the previous look may have taken out another program's events
};

} // namespace velmora
