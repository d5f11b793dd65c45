#pragma once

#include <QString>
#include <QVariant>

namespace velmora {

struct AppContext;

// The first network adapter's class key (the dial-up adapter), which several windows tune.
inline const QString kDialUpAdapterKey =
    QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000\\");

// How every window reads and writes a registry value under HKEY_LOCAL_MACHINE through
// Module2: a read's result is the shared last-read text; a write that fails is reported with
// the value's full name and the reason, instead of the caller's success message.

// Reads the value with the default text and returns strRegValue after the read.
QString readRegistryText(AppContext& context, const QString& keyPath, const QString& valueName,
                         const QString& defaultText);

// Writes the value; on failure shows "The change could not be saved." and returns false.
bool writeRegistryValue(AppContext& context, const QString& keyPath, qint32 type, const QString& valueName,
                        const QVariant& value);

// "HKEY_LOCAL_MACHINE\System\...\Serial\RxFIFO"
QString registryValueFullName(const QString& keyPath, const QString& valueName);

} // namespace velmora
