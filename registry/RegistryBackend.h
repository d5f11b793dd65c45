#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace velmora {

class BackupSession;

// How a write of a value ended when it did not fail: done (written, or the value was already so),
// or nothing written because the key is gone.
enum class Written { Done, KeyGone };

// Where HKEY_LOCAL_MACHINE is kept: a REGEDIT4 file on a machine folder (RegistryStore) or the
// binary SYSTEM.DAT of a real drive (HiveStore). The registry calls work the same over both.
//
// Keys are found by their normalised, case-folded path below HKEY_LOCAL_MACHINE
// (regfile::normalisePath); the root is the empty path. A store that cannot read its file is
// damaged: it is served as empty, every write fails with damage() as the reason, and the file
// is never written.
class RegistryBackend {
public:
    static constexpr int kRootKey = 0;

    virtual ~RegistryBackend() = default;

    virtual const QString& filePath() const = 0;
    // Every change is copied aside first and recorded after (none when not set).
    virtual void setBackups(BackupSession* backups) = 0;
    // Reads the file again when another program changed it since.
    virtual void refresh() = 0;
    virtual bool isDamaged() const = 0;
    virtual const QString& damage() const = 0;
    // -1 when missing.
    virtual int findKey(QByteArrayView foldedPath) const = 0;
    virtual QByteArray keyPath(int key) const = 0;
    // The value of that name (case-insensitive; the empty name is the default value).
    virtual bool readValue(int key, QByteArrayView name, quint32& type, QByteArray& data) const = 0;
    // Creates the key and every missing key above it; the parts that exist keep their spelling.
    virtual Result<void> createKey(QByteArrayView path) = 0;
    // Sets a value of an existing key; KeyGone when the key is gone.
    virtual Result<Written> setValue(QByteArrayView foldedKeyPath, QByteArrayView name, quint32 type,
                                     QByteArrayView data) = 0;
};

} // namespace velmora
