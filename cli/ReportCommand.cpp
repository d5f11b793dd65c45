#include "cli/ReportCommand.h"

#include "cli/Output.h"
#include "cli/ScriptMachine.h"
#include "files/AtomicFile.h"
#include "modeminfo/ModemReport.h"

namespace velmora {

int runReport(ScriptMachine& machine, const QString& hostFile, std::FILE* out, std::FILE* err)
{
    const QByteArray report = modemReportBytes(modemReportLines(machine.registryValues()));
    if (const Result<void> read = machine.everythingRead(); !read) {
        std::fprintf(err, "velmora: the report cannot be made:\n%s\n", qPrintable(read.reason()));
        return 1;
    }
    if (hostFile.isEmpty()) {
        if (writeOut(out, report))
            return 0;
        std::fprintf(err, "velmora: the report could not be written to standard output\n");
        return 1;
    }
    if (const Result<void> written = writeFileAtomically(hostFile, report); !written) {
        std::fprintf(err, "velmora: the report could not be saved: %s: %s\n", qPrintable(hostFile),
                     qPrintable(written.reason()));
        return 1;
    }
    return 0;
}

} // namespace velmora
