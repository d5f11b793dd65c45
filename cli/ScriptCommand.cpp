#include "cli/ScriptCommand.h"

#include "cli/Output.h"
#include "cli/ReportCommand.h"
#include "cli/ScriptMachine.h"
#include "cli/ScriptSettings.h"
#include "cli/SetCommand.h"
#include "cli/ShowCommand.h"

#include <QDir>

#include <cstdio>
#include <optional>

namespace velmora {
namespace {

const QStringList kCommands = {QStringLiteral("show"), QStringLiteral("set"), QStringLiteral("report")};

// What the words ask for, checked before the machine is touched.
struct Request {
    QString command;
    bool json = false;
    bool dryRun = false;
    QList<std::pair<const Setting*, QString>> settings;
    QString reportFile;
};

Result<Request> parse(const QStringList& words)
{
    Request request;
    request.command = words.value(0);
    QStringList rest = words.mid(1);
    const auto takeFlag = [&](const char* flag) { return rest.removeAll(QLatin1String(flag)) > 0; };
    if (request.command == QLatin1String("show"))
        request.json = takeFlag("--json");
    else if (request.command == QLatin1String("set"))
        request.dryRun = takeFlag("--dry-run");
    for (const QString& word : rest)
        if (word.startsWith(QLatin1String("--")))
            return failure(QStringLiteral("%1 does not take the option '%2'.").arg(request.command, word));

    if (request.command == QLatin1String("show")) {
        if (!rest.isEmpty())
            return failure(QStringLiteral("show takes no argument '%1'.").arg(rest.first()));
    } else if (request.command == QLatin1String("report")) {
        if (rest.size() > 1)
            return failure(QStringLiteral("report takes one FILE at most."));
        request.reportFile = rest.value(0);
    } else {
        if (rest.isEmpty() || rest.size() % 2 != 0)
            return failure(QStringLiteral("set takes SETTING VALUE pairs."));
        for (qsizetype i = 0; i < rest.size(); i += 2) {
            const Setting* setting = findSetting(rest[i]);
            if (!setting || !setting->settable)
                return failure(QStringLiteral("There is no setting '%1' to set.").arg(rest[i]));
            for (const auto& [earlier, value] : request.settings)
                if (earlier == setting)
                    return failure(QStringLiteral("%1 is given twice.").arg(setting->name));
            request.settings.append({setting, rest[i + 1]});
        }
    }
    return request;
}

} // namespace

qsizetype scriptCommandAt(const QStringList& arguments, const QStringList& valueOptions)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (valueOptions.contains(arguments[i]))
            ++i;
        else if (kCommands.contains(arguments[i]))
            return i;
    }
    return -1;
}

QString scriptCommandsHelp()
{
    // The setting names, wrapped as the rest of the help is.
    QString settings = QStringLiteral("Settings:");
    qsizetype lineStart = 0;
    for (const Setting& setting : scriptSettings()) {
        if (!setting.settable)
            continue;
        if (settings.size() - lineStart + setting.name.size() + 2 > 92) {
            settings += QStringLiteral("\n ");
            lineStart = settings.size() - 1;
        }
        settings += QLatin1Char(' ') + setting.name + QLatin1Char(',');
    }
    settings.chop(1);
    return QStringLiteral(
               "Sub-commands (no display needed; velmora(1) tells more):\n"
               "  show [--json]                     every setting and what it holds\n"
               "  set SETTING VALUE... [--dry-run]  checks every value, then writes them, backed up first\n"
               "  report [FILE]                     the modem report, to FILE or standard output\n"
               "%1.\n"
               "Values: com1..com4 as win.ini keeps them (19200,e,7,1,x); mtu and aol-mtu auto, 576, 1000,\n"
               "1500 or any size; slownet, ipx-header-compression, point-to-point-ip on or off; modem-at-c0 "
               "on;\n"
               "fifo-tx, fifo-rx 16k 64k 512k 1MB 2MB 4MB 8MB 16MB.\n"
               "Exit status: 0 done, 1 refused or failed, 2 wrong arguments.")
        .arg(settings);
}

int runScriptCommand(const QStringList& words, const MachineName& name, const QString& backupsFolder,
                     const RegistryStoreFor& storeFor)
{
    const Result<Request> request = parse(words);
    if (!request) {
        std::fprintf(stderr, "velmora: %s\nTry 'velmora --help' for more information.\n",
                     qPrintable(request.reason()));
        return 2;
    }
    if (const Result<void> prepared = MachineFolder(name).prepare(); !prepared) {
        std::fprintf(stderr, "velmora: The machine %s cannot be used:\n%s\n", qPrintable(name.root),
                     qPrintable(prepared.reason()));
        return 1;
    }
    ScriptMachine machine(name, backupsFolder, storeFor);
    if (request->command == QLatin1String("report"))
        return runReport(
            machine, request->reportFile.isEmpty() ? QString() : QDir().absoluteFilePath(request->reportFile),
            stdout, stderr);
    if (request->command == QLatin1String("set"))
        return runSet(machine, request->settings, request->dryRun, stdout, stderr);
    const QByteArray shown = request->json ? showJson(machine) : showText(machine);
    if (const Result<void> read = machine.everythingRead(); !read) {
        std::fprintf(stderr, "velmora: the settings cannot be shown:\n%s\n", qPrintable(read.reason()));
        return 1;
    }
    if (!writeOut(stdout, shown)) {
        std::fprintf(stderr, "velmora: the settings could not be written to standard output\n");
        return 1;
    }
    return 0;
}

} // namespace velmora
