#include "ui/RegistryAccess.h"

#include "config/Module2.h"
#include "ui/AppContext.h"
#include "ui/SaveFailure.h"

namespace velmora {

QString readRegistryText(AppContext& context, const QString& keyPath, const QString& valueName,
                         const QString& defaultText)
{
    HKEY root = HKEY_LOCAL_MACHINE;
    QString text = defaultText;
    context.registryValues.ReadKeyValue(root, keyPath, valueName, text);
    return strRegValue;
}

bool writeRegistryValue(AppContext& context, const QString& keyPath, qint32 type, const QString& valueName,
                        const QVariant& value)
{
    HKEY root = HKEY_LOCAL_MACHINE;
    QVariant data = value;
    if (context.registryValues.WriteKeyValue(root, keyPath, type, valueName, data))
        return true;
    reportSaveFailure(context.messageBoxes, registryValueFullName(keyPath, valueName),
                      context.registryValues.lastError());
    return false;
}

QString registryValueFullName(const QString& keyPath, const QString& valueName)
{
    QString path = keyPath;
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return QStringLiteral("HKEY_LOCAL_MACHINE\\") + path + QLatin1Char('\\') + valueName;
}

} // namespace velmora
