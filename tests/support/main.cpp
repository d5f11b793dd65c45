#include <QApplication>
#include <gtest/gtest.h>

// Every test program gets a QApplication (offscreen under CTest) for its widgets and events.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    return RUN_ALL_TESTS();
}
