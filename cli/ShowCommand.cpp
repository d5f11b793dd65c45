#include "cli/ShowCommand.h"

#include "cli/ScriptMachine.h"
#include "cli/ScriptSettings.h"
#include "files/HostFile.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace velmora {

QByteArray showText(ScriptMachine& machine)
{
    qsizetype width = 0;
    for (const Setting& setting : scriptSettings())
        width = std::max(width, setting.name.size());
    QString text = QStringLiteral("Machine %1\n").arg(QFileInfo(machine.machine().root()).absoluteFilePath());
    QString group;
    for (const Setting& setting : scriptSettings()) {
        if (setting.group != group) {
            group = setting.group;
            text += QLatin1Char('\n') + group + QLatin1Char('\n');
        }
        text += QStringLiteral("  %1  %2\n")
                    .arg(setting.name.leftJustified(width),
                         shownInMessage(currentValue(machine, setting).value_or(QStringLiteral("not set"))));
    }
    return text.toUtf8();
}

QByteArray showJson(ScriptMachine& machine)
{
    QJsonObject groups;
    for (const Setting& setting : scriptSettings()) {
        // "Modem Settings" is "modem-settings".
        const QString groupName = setting.group.toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
        QJsonObject group = groups.value(groupName).toObject();
        const std::optional<QString> value = currentValue(machine, setting);
        group.insert(setting.name, value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null));
        groups.insert(groupName, group);
    }
    const MachineFolder::Kind kind = machine.machine().kind();
    const QJsonObject show{
        {QStringLiteral("machine"), QFileInfo(machine.machine().root()).absoluteFilePath()},
        {QStringLiteral("kind"), kind == MachineFolder::Kind::Drive   ? QStringLiteral("drive")
                                 : kind == MachineFolder::Kind::Image ? QStringLiteral("image")
                                                                      : QStringLiteral("folder")},
        {QStringLiteral("settings"), groups}};
    return QJsonDocument(show).toJson(QJsonDocument::Indented);
}

} // namespace velmora
