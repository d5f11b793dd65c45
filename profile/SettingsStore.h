#pragma once

#include "core/Result.h"

#include <QString>

namespace velmora {

// The per-user settings store (GetSetting / SaveSetting), kept in QSettings under
// organisation and application "Velmora", one group per section.
class SettingsStore {
public:
    // The stored text, or the default when the entry is absent.
    QString GetSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    // Saves the text, creating the entry when absent; a failure when the store could not be
    // written.
    Result<void> SaveSetting(const QString& appName, const QString& section, const QString& key,
                             const QString& setting);
};

} // namespace velmora
