#pragma once

#include "core/Result.h"

#include <QString>

namespace velmora {

// An exclusive lock between processes (flock). A file that is replaced by an atomic rename gets
// a new inode, so the lock cannot live on the file itself: it is held either on a lock file of
// its own (created when missing and left in place) or on the folder that holds the file, which
// adds nothing to a folder another system also uses. Neither is opened through a link: a lock
// file planted as a link would otherwise make Velmora create a file wherever the link points.
class FileLock {
public:
    enum class On { LockFile, Folder };
    explicit FileLock(const QString& path, On on = On::LockFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Waits until the lock is ours; the reason when the lock cannot be opened.
    Result<void> lock();
    // Takes the lock only when nobody holds it.
    bool tryLock();
    void unlock();

private:
    Result<void> open();
    Result<void> acquire(int operation);

    QString m_path;
    On m_on;
    int m_fd = -1;
    bool m_locked = false;
};

// Holds a FileLock for one scope.
class FileLockGuard {
public:
    explicit FileLockGuard(FileLock& lock) : m_lock(lock), m_locked(lock.lock()) {}
    ~FileLockGuard()
    {
        if (m_locked)
            m_lock.unlock();
    }
    FileLockGuard(const FileLockGuard&) = delete;
    FileLockGuard& operator=(const FileLockGuard&) = delete;
    bool ok() const { return m_locked.ok(); }
    // Why the lock could not be taken.
    const QString& reason() const { return m_locked.reason(); }

private:
    FileLock& m_lock;
    Result<void> m_locked;
};

} // namespace velmora
