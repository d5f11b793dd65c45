#include "cli/SetCommand.h"

#include "cli/Output.h"
#include "cli/ScriptMachine.h"
#include "cli/ScriptSettings.h"
#include "files/HostFile.h"

namespace velmora {
namespace {

bool print(std::FILE* stream, const QString& text)
{
    return writeOut(stream, text.toLocal8Bit());
}

} // namespace

int runSet(ScriptMachine& machine, const QList<std::pair<const Setting*, QString>>& requests, bool dryRun,
           std::FILE* out, std::FILE* err)
{
    Result<QList<PlannedWrite>> writes = planWrites(machine, requests);
    // Planned on what could be read: a value taken as missing from a file that cannot be read
    // would be planned wrongly.
    if (const Result<void> read = machine.everythingRead(); writes && !read)
        writes = failure(read.reason());
    if (!writes) {
        print(err, QStringLiteral("velmora: refused, nothing was written:\n%1\n").arg(writes.reason()));
        return 1;
    }
    const auto entry = [](const PlannedWrite& write) {
        return QStringLiteral("%1: %2\n  old: %3\n  new: %4\n")
            .arg(write.setting, writeTarget(write), shownInMessage(write.oldText),
                 shownInMessage(newText(write)));
    };
    QString listing;
    if (dryRun) {
        for (const PlannedWrite& write : *writes)
            listing += entry(write);
        if (print(out, listing + QStringLiteral("Nothing was written (--dry-run).\n")))
            return 0;
        print(err, QStringLiteral("velmora: the changes could not be written to standard output\n"));
        return 1;
    }
    // One at a time, so that when one fails (a full disk, say) those written before it are listed.
    for (const PlannedWrite& write : *writes) {
        if (const Result<void> done = carryOut(machine, write); !done) {
            print(out, listing);
            print(err, QStringLiteral("velmora: %1\n").arg(done.reason()));
            if (!machine.backups().folder().isEmpty())
                print(err,
                      QStringLiteral("The files as they were are kept in %1 (velmora --restore puts them "
                                     "back).\n")
                          .arg(machine.backups().folder()));
            return 1;
        }
        listing += entry(write);
    }
    if (writes->isEmpty())
        listing = QStringLiteral("Nothing to change: already set.\n");
    else if (!machine.backups().folder().isEmpty())
        listing += QStringLiteral("The files as they were are kept in %1.\n").arg(machine.backups().folder());
    // The change stands whether or not its listing reaches the terminal.
    if (!print(out, listing))
        print(err, QStringLiteral("velmora: the changes were made, but their listing could not be written to "
                                  "standard output\n"));
    return 0;
}

} // namespace velmora
