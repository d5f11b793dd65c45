#include "profile/SettingsStore.h"

#include <QSettings>

namespace velmora {

QString SettingsStore::GetSetting(const QString& appName, const QString& section, const QString& key,
                                  const QString& defaultValue) const
{
    QSettings store(QStringLiteral("Velmora"), appName);
    const QVariant value = store.value(section + QLatin1Char('/') + key);
    return value.isValid() ? value.toString() : defaultValue;
}

Result<void> SettingsStore::SaveSetting(const QString& appName, const QString& section, const QString& key,
                                        const QString& setting)
{
    QSettings store(QStringLiteral("Velmora"), appName);
    store.setValue(section + QLatin1Char('/') + key, setting);
    store.sync();
    if (store.status() == QSettings::NoError)
        return {};
    return failure(store.status() == QSettings::AccessError
                       ? QStringLiteral("the settings file cannot be written")
                       : QStringLiteral("the settings file is damaged"));
}

} // namespace velmora
