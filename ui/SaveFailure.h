#pragma once

#include <QString>

namespace velmora {

class MessageBoxes;

// Shown instead of a success message when a write the user asked for did not happen:
// "The change could not be saved." and, on the second line, what failed and why.
void reportSaveFailure(MessageBoxes& boxes, const QString& what, const QString& reason);

} // namespace velmora
