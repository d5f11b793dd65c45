#include "app/Splash.h"
#include "app/Form1.h"
#include "support/TestMachine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace velmora {
namespace {

constexpr int kShortSplash = 50; // milliseconds: the tests do not wait the real two seconds

// Counts the main window's shows, failing any made while the splash is on screen.
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(WindowRegistry& windows) : m_windows(windows) {}
    int shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const QWidget* splash = m_windows.loaded(QStringLiteral("splash"));
        if (event->type() == QEvent::Show && ++shows) {
            EXPECT_FALSE(splash && splash->isVisible()) << "main window shown beside the splash";
        }
        return false;
    }

private:
    WindowRegistry& m_windows;
};

// A main window whose load takes longer than the splash stays, or that shows no splash.
template <bool slow> class LoadingForm1 : public Form1 {
public:
    using Form1::Form1;
    void Form_Load() override
    {
        if (slow) {
            Form1::Form_Load();
            QThread::msleep(3 * kShortSplash);
        }
    }
};

class SplashTest : public ::testing::Test {
protected:
    SplashTest() { machine.context().splashMilliseconds = kShortSplash; }
    QWidget* splashWindow() { return machine.app().windows().loaded(QStringLiteral("splash")); }
    QWidget* mainWindow() { return machine.app().windows().loaded(QStringLiteral("Form1")); }

    // Starts the program as main() does, with this main window watched from its creation on.
    template <typename Main = Form1> void start()
    {
        machine.app().windows().add(QStringLiteral("Form1"), [this](AppContext& context) -> VbForm* {
            auto* form = new Main(context);
            form->installEventFilter(&watcher);
            return form;
        });
        machine.app().start();
        ASSERT_NE(mainWindow(), nullptr);
    }
    void handleEventsFor(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    testing::TestMachine machine;
    ShowWatcher watcher{machine.app().windows()};
};

TEST_F(SplashTest, TimerClosesItAndShowsTheMainWindowOnce)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    start();
    ASSERT_NE(splashWindow(), nullptr);
    handleEventsFor(6 * kShortSplash);
    EXPECT_EQ(splashWindow(), nullptr);
    EXPECT_GE(sinceStart.elapsed(), kShortSplash);
    EXPECT_TRUE(mainWindow()->isVisible());
    EXPECT_EQ(watcher.shows, 1);
}

TEST_F(SplashTest, OnlyAClickOnThePictureClosesItAtOnceAndTheTimerStaysQuiet)
{
    start();
    QPointer<QWidget> shown = splashWindow();
    ASSERT_FALSE(shown.isNull());
    auto* timer = shown->findChild<QTimer*>(QStringLiteral("Timer1"));
    timer->blockSignals(true); // however slow the machine, only a click may close it here
    for (const char* name : {"Image2", "Image3", "Image4", "Image5"})
        QTest::mouseClick(shown->findChild<QWidget*>(QString::fromLatin1(name)), Qt::LeftButton);
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
    EXPECT_EQ(watcher.shows, 1);
}

TEST_F(SplashTest, AUserSeesItForTwoSecondsUnlessTold)
{
    machine.context().splashMilliseconds.reset();
    start();
    const auto* timer = splashWindow()->findChild<QTimer*>(QStringLiteral("Timer1"));
    EXPECT_EQ(timer->interval(), 2000);
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer) << "it must never go early";
}

TEST_F(SplashTest, ASlowLoadClosesItWhenEventsAreNextHandled)
{
    start<LoadingForm1<true>>();
    ASSERT_NE(splashWindow(), nullptr); // nothing handled yet
    EXPECT_FALSE(mainWindow()->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(splashWindow(), nullptr);
    EXPECT_TRUE(mainWindow()->isVisible());
}

TEST_F(SplashTest, WithoutASplashTheProgramShowsTheMainWindowItself)
{
    start<LoadingForm1<false>>();
    EXPECT_TRUE(mainWindow()->isVisible());
}

} // namespace
} // namespace velmora
