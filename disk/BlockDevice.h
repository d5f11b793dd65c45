#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace velmora {

// The bytes of a disk, or of one stretch of it (a partition), addressed from 0: a raw image
// file, a container format reached through its own engine, or a window onto another device.
// Every read and write is whole or fails with the reason; nothing is written past size().
class BlockDevice {
public:
    virtual ~BlockDevice() = default;

    // What the user knows the device by (the image's file name), for messages.
    virtual QString name() const = 0;
    virtual qint64 size() const = 0;
    virtual Result<QByteArray> read(qint64 offset, qint64 length) = 0;
    virtual Result<void> write(qint64 offset, QByteArrayView bytes) = 0;
    // Makes every write so far durable in the image file.
    virtual Result<void> flush() = 0;
};

} // namespace velmora
