#include "cli/ReportCommand.h"

#include "cli/ScriptMachine.h"
#include "files/AtomicFile.h"
#include "modeminfo/ModemReport.h"

namespace velmora {

int runReport(ScriptMachine& machine, const QString& hostFile, std::FILE* out, std::FILE* err)
{
    const QByteArray report = modemReportBytes(modemReportLines(machine.registryValues()));
    if (hostFile.isEmpty()) {
        std::fwrite(report.constData(), 1, size_t(report.size()), out);
        return std::fflush(out) == 0 ? 0 : 1;
    }
    if (const Result<void> written = writeFileAtomically(hostFile, report); !written) {
        std::fprintf(err, "velmora: the report could not be saved: %s: %s\n", qPrintable(hostFile),
                     qPrintable(written.reason()));
        return 1;
    }
    return 0;
}

} // namespace velmora
