#include "app/Artwork.h"
#include "app/Velmora.h"
#include "platform/MachineFolder.h"
#include "platform/QProcessLauncher.h"
#include "platform/ui/QtMessageBoxes.h"
#include "platform/ui/QtSaveAsDialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QMessageBox>

#include <chrono>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral("1.2"));
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
    velmora::registerArtwork();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/velmora.png")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows and tunes the serial port, modem and dial-up settings of a Windows 95/98 machine."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption machineOption(
        QStringLiteral("machine"),
        QStringLiteral("The machine folder to work on: DIR/drive_c is drive C, DIR/system.reg the registry "
                       "(default: %1).")
            .arg(velmora::MachineFolder::defaultLocation()),
        QStringLiteral("DIR"));
    parser.addOption(machineOption);
    // For the start-up benchmark only: load the main window, report the moment the load ended
    // (steady clock, nanoseconds) on standard output and quit.
    QCommandLineOption probeOption(QStringLiteral("startup-probe"), QStringLiteral("Start-up measurement."));
    probeOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(probeOption);
    parser.process(app);

    const QString root =
        parser.isSet(machineOption) ? parser.value(machineOption) : velmora::MachineFolder::defaultLocation();
    QString reason;
    if (!velmora::MachineFolder(root).prepare(&reason)) {
        const QString text = QStringLiteral("The machine folder %1 cannot be used:\n%2").arg(root, reason);
        std::fprintf(stderr, "velmora: %s\n", qPrintable(text));
        QMessageBox::critical(nullptr, QStringLiteral("Velmora"), text);
        return 1;
    }

    velmora::QtMessageBoxes messageBoxes;
    velmora::QtSaveAsDialog saveAs;
    velmora::QProcessLauncher launcher;
    velmora::Velmora velmora(root, velmora::Edges{messageBoxes, &saveAs, &launcher});
    velmora.start();
    if (parser.isSet(probeOption)) {
        QCoreApplication::processEvents();
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::printf("%lld\n", static_cast<long long>(
                                  std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
        return 0;
    }
    return QApplication::exec();
}
