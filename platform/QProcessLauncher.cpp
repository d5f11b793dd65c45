#include "platform/QProcessLauncher.h"

#include <QProcess>

namespace velmora {

bool QProcessLauncher::startDetached(const QString& program, const QStringList& arguments, QString* reason)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    // The standard streams go nowhere rather than into Velmora's terminal.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (process.startDetached())
        return true;
    if (reason)
        *reason = process.errorString();
    return false;
}

} // namespace velmora
