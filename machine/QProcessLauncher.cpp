#include "machine/QProcessLauncher.h"

#include <QProcess>

namespace velmora {

Result<void> QProcessLauncher::startDetached(const QString& program, const QStringList& arguments,
                                             const QStringList& environment)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    QProcessEnvironment settings = QProcessEnvironment::systemEnvironment();
    for (const QString& setting : environment) {
        const qsizetype equals = setting.indexOf(u'=');
        settings.insert(setting.left(equals), setting.mid(equals + 1));
    }
    process.setProcessEnvironment(settings);
    // The standard streams go nowhere rather than into Velmora's terminal.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        return failure(process.errorString());
    return {};
}

} // namespace velmora
