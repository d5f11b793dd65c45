#include "app/Artwork.h"
#include "app/CommandLine.h"
#include "app/Velmora.h"
#include "machine/MachineFolder.h"
#include "machine/QProcessLauncher.h"
#include "ui/QtMessageBoxes.h"
#include "ui/QtSaveAsDialog.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2"));

    // Read before any application object: what only answers on the terminal needs no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    velmora::CommandLine commandLine(arguments);
    if (commandLine.forTerminal()) {
        QCoreApplication app(argc, argv);
        return commandLine.runInTerminal();
    }
    // A machine named with --machine is only looked at, so it is checked before a display is
    // needed: a mistyped path is answered in any terminal. Nothing is made without a window.
    const velmora::MachineName name = commandLine.machine();
    const QString& root = name.root;
    const velmora::MachineFolder::Creation creation = commandLine.machineCreation();
    const QString displayProblem = commandLine.displayProblem();
    if (displayProblem.isEmpty() || creation == velmora::MachineFolder::Creation::MustExist) {
        // Opening a disk image puts back a save that was cut short; the user hears of it.
        const velmora::MachineFolder machine(name);
        if (!machine.notice().isEmpty())
            std::fprintf(stderr, "velmora: %s\n", qPrintable(machine.notice()));
        if (const velmora::Result<void> prepared = machine.prepare(creation); !prepared) {
            const QString text =
                QStringLiteral("The machine %1 cannot be used:\n%2").arg(root, prepared.reason());
            std::fprintf(stderr, "velmora: %s\n", qPrintable(text));
            if (displayProblem.isEmpty()) {
                QApplication app(argc, argv);
                velmora::QtMessageBoxes().inform(text, velmora::MsgIcon::Critical);
            }
            return 1;
        }
    }
    if (!displayProblem.isEmpty()) {
        std::fprintf(stderr, "velmora: %s\n", qPrintable(displayProblem));
        return 1;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
    velmora::registerArtwork();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/velmora.png")));

    velmora::QtMessageBoxes messageBoxes;
    velmora::QtSaveAsDialog saveAs;
    velmora::QProcessLauncher launcher;
    velmora::Velmora velmora(name, velmora::Edges{messageBoxes, &saveAs, &launcher});
    velmora.start();
    return QApplication::exec();
}
