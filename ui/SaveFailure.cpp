#include "ui/SaveFailure.h"

#include "ui/MessageBoxes.h"

namespace velmora {

void reportSaveFailure(MessageBoxes& boxes, const QString& what, const QString& reason)
{
    boxes.show(QStringLiteral("The change could not be saved.\n%1: %2").arg(what, reason), MsgIcon::Critical,
               MsgButtons::Ok);
}

} // namespace velmora
