#include "cli/SetCommand.h"

#include "cli/ScriptMachine.h"
#include "cli/ScriptSettings.h"

namespace velmora {
namespace {

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

int runSet(ScriptMachine& machine, const QList<std::pair<const Setting*, QString>>& requests, bool dryRun,
           std::FILE* out, std::FILE* err)
{
    const Result<QList<PlannedWrite>> writes = planWrites(machine, requests);
    if (!writes) {
        print(err, QStringLiteral("velmora: refused, nothing was written:\n%1\n").arg(writes.reason()));
        return 1;
    }
    QString listing;
    for (const PlannedWrite& write : *writes)
        listing += QStringLiteral("%1: %2\n  old: %3\n  new: %4\n")
                       .arg(write.setting, writeTarget(write), write.oldText, newText(write));
    if (dryRun) {
        print(out, listing + QStringLiteral("Nothing was written (--dry-run).\n"));
        return 0;
    }
    if (const Result<void> done = carryOut(machine, *writes); !done) {
        print(err, QStringLiteral("velmora: %1\n").arg(done.reason()));
        if (!machine.backups().folder().isEmpty())
            print(err, QStringLiteral(
                           "The files as they were are kept in %1 (velmora --restore puts them back).\n")
                           .arg(machine.backups().folder()));
        return 1;
    }
    if (writes->isEmpty())
        listing = QStringLiteral("Nothing to change: already set.\n");
    else if (!machine.backups().folder().isEmpty())
        listing += QStringLiteral("The files as they were are kept in %1.\n").arg(machine.backups().folder());
    print(out, listing);
    return 0;
}

} // namespace velmora
