#pragma once

#include "core/Result.h"
#include "disk/BlockDevice.h"

#include <QString>

namespace velmora {

// What opening an image found of a save that did not finish.
struct SaveRecovery {
    enum class Outcome {
        Clean,            // no journal: the last save finished
        PutBack,          // a whole journal: the image was put back as it was before that save
        UnfinishedDropped // a journal cut short: the save had not touched the image yet
    };
    Outcome outcome = Outcome::Clean;
    qint64 bytesRestored = 0; // bytes that held the interrupted save's data
    QString notice;           // what to tell the user; empty when Clean
};

// Run before anything else reads the image. A whole undo journal that fits the image is played
// back (old bytes written, flushed) and removed; one cut short is removed. A journal that
// cannot be read, that belongs to another disk, or whose sectors were changed by something
// else since the save, is left in place and the image refused with the reason: playing it back
// then would damage the image.
Result<SaveRecovery> recoverInterruptedSave(BlockDevice& image, const QString& journalPath);

} // namespace velmora
