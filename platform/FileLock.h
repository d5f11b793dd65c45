#pragma once

#include <QString>

namespace velmora {

// An exclusive lock between processes, held on a lock file of its own (flock). A file that is
// replaced by an atomic rename gets a new inode, so the lock cannot live on the file itself.
// The lock file is created when missing and left in place.
class FileLock {
public:
    explicit FileLock(const QString& lockPath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Waits until the lock is ours. False, with the reason, when the lock file cannot be opened.
    bool lock(QString* reason = nullptr);
    void unlock();

private:
    QString m_path;
    int m_fd = -1;
    bool m_locked = false;
};

// Holds a FileLock for one scope.
class FileLockGuard {
public:
    explicit FileLockGuard(FileLock& lock, QString* reason = nullptr) : m_lock(lock), m_ok(lock.lock(reason))
    {
    }
    ~FileLockGuard()
    {
        if (m_ok)
            m_lock.unlock();
    }
    FileLockGuard(const FileLockGuard&) = delete;
    FileLockGuard& operator=(const FileLockGuard&) = delete;
    bool ok() const { return m_ok; }

private:
    FileLock& m_lock;
    bool m_ok;
};

} // namespace velmora
