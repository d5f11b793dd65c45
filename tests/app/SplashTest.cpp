#include "app/Splash.h"
#include "app/Form1.h"
#include "support/TestMachine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace velmora {
namespace {

constexpr int kShortSplash = 50; // milliseconds: the tests do not wait the real two seconds

// The program started as main() does: the splash is up and the main window loaded but not shown.
class SplashTest : public ::testing::Test {
protected:
    SplashTest()
    {
        machine.context().splashMilliseconds = kShortSplash;
        machine.app().start();
    }
    QWidget* splashWindow() { return machine.app().windows().loaded(QStringLiteral("splash")); }
    QWidget* mainWindow() { return machine.app().windows().loaded(QStringLiteral("Form1")); }
    void expectOnlyTheSplash()
    {
        ASSERT_NE(splashWindow(), nullptr);
        ASSERT_NE(mainWindow(), nullptr);
        EXPECT_FALSE(mainWindow()->isVisible()) << "main window shown beside the splash";
    }
    void handleEventsFor(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    testing::TestMachine machine;
};

TEST_F(SplashTest, TimerClosesItAndShowsTheMainWindow)
{
    expectOnlyTheSplash();
    handleEventsFor(6 * kShortSplash);
    EXPECT_EQ(splashWindow(), nullptr);
    EXPECT_TRUE(mainWindow()->isVisible());
}

TEST_F(SplashTest, OnlyAClickOnThePictureClosesItAtOnceAndTheTimerStaysQuiet)
{
    expectOnlyTheSplash();
    QPointer<QWidget> shown = splashWindow();
    auto* timer = shown->findChild<QTimer*>(QStringLiteral("Timer1"));
    timer->blockSignals(true); // however slow the machine, only a click may close it here
    QTest::mouseClick(shown->findChild<QWidget*>(QStringLiteral("Image2")), Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_EQ(splashWindow(), shown.data()) << "the icons only decorate";
    timer->blockSignals(false);
    int ticks = 0;
    QObject::connect(timer, &QTimer::timeout, [&ticks] { ++ticks; });
    QTest::mouseClick(shown->findChild<QWidget*>(QStringLiteral("Image1")), Qt::LeftButton);
    EXPECT_EQ(splashWindow(), nullptr);
    EXPECT_TRUE(mainWindow()->isVisible());
    handleEventsFor(3 * kShortSplash);
    EXPECT_TRUE(shown.isNull()) << "the splash was not destroyed";
    EXPECT_EQ(ticks, 0);
}

TEST(Splash, AUserSeesItForTwoSecondsUnlessTold)
{
    testing::TestMachine machine;
    machine.app().start();
    const auto* timer = machine.app()
                            .windows()
                            .loaded(QStringLiteral("splash"))
                            ->findChild<QTimer*>(QStringLiteral("Timer1"));
    EXPECT_EQ(timer->interval(), 2000);
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer) << "it must never go early";
}

} // namespace
} // namespace velmora
