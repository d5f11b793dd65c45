// What the start-up benchmark measures: velmora's start, from the process's start to the end of
// the main window's load (the splash's two seconds are not waited for), on the machine folder
// the benchmark gives, which it made in a temporary folder. It reports that moment on the
// steady clock (nanoseconds) on standard output and quits. The user's own machine and backups
// are never touched: both places are given, and the folder must be inside the system's
// temporary folder.
#include "app/Artwork.h"
#include "app/Velmora.h"
#include "machine/MachineFolder.h"
#include "ui/QtMessageBoxes.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>

#include <chrono>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral("1.2"));
    velmora::registerArtwork();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/velmora.png")));

    const QString work =
        argc == 2 ? QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath() : QString();
    const QString temporary = QFileInfo(QDir::tempPath()).canonicalFilePath() + u'/';
    if (work.isEmpty() || !QFileInfo(work).canonicalFilePath().startsWith(temporary)) {
        std::fprintf(stderr, "usage: %s WORK_DIR (an existing folder inside %s)\n", argv[0],
                     qPrintable(temporary));
        return 2;
    }
    const QString machine = work + QStringLiteral("/machine");
    if (const velmora::Result<void> prepared = velmora::MachineFolder(machine).prepare(); !prepared) {
        std::fprintf(stderr, "%s\n", qPrintable(prepared.reason()));
        return 1;
    }

    velmora::QtMessageBoxes messageBoxes;
    velmora::Velmora velmora(machine, velmora::Edges{messageBoxes}, work + QStringLiteral("/backups"));
    velmora.start();
    QCoreApplication::processEvents();
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("%lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    return 0;
}
