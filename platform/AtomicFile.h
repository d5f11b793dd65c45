#pragma once

#include <QByteArrayView>
#include <QString>

namespace velmora {

// Replaces the file at hostPath with exactly these bytes, so that a crash at any point leaves
// either the old file or the new one, never a torn mix: the bytes go to a temporary file in the
// same folder, are flushed and synced (a failed write, a full disk or a size limit is noticed
// here, before anything is replaced), and the temporary file is then renamed over the old one.
// An existing file keeps its permission bits. On failure the old file is untouched, no
// temporary file is left behind, and *reason (when given) says what went wrong.
bool writeFileAtomically(const QString& hostPath, QByteArrayView bytes, QString* reason = nullptr);

} // namespace velmora
