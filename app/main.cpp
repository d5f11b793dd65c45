#include "app/Artwork.h"
#include "app/CommandLine.h"
#include "app/Velmora.h"
#include "platform/MachineFolder.h"
#include "platform/QProcessLauncher.h"
#include "platform/ui/QtMessageBoxes.h"
#include "platform/ui/QtSaveAsDialog.h"

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
    if (const QString problem = commandLine.displayProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "velmora: %s\n", qPrintable(problem));
        return 1;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
    velmora::registerArtwork();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/velmora.png")));

    velmora::QtMessageBoxes messageBoxes;
    const QString root = commandLine.machineRoot();
    if (const velmora::Result<void> prepared = velmora::MachineFolder(root).prepare(); !prepared) {
        const QString text =
            QStringLiteral("The machine %1 cannot be used:\n%2").arg(root, prepared.reason());
        std::fprintf(stderr, "velmora: %s\n", qPrintable(text));
        messageBoxes.inform(text, velmora::MsgIcon::Critical);
        return 1;
    }

    velmora::QtSaveAsDialog saveAs;
    velmora::QProcessLauncher launcher;
    velmora::Velmora velmora(root, velmora::Edges{messageBoxes, &saveAs, &launcher});
    velmora.start();
    return QApplication::exec();
}
