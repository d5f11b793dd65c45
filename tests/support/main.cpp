#ifdef VELMORA_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Every test program gets an application object (a QApplication, offscreen under CTest, where
// it drives widgets) for its events, and user settings in a folder of its own for the run, so
// that not even a run by hand touches the user's real ones.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName(QStringLiteral("Velmora"));
    TestApplication::setApplicationName(QStringLiteral("Velmora"));
    const QTemporaryDir settings;
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, settings.path());
    return RUN_ALL_TESTS();
}
