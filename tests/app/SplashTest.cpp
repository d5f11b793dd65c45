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

using testing::TestMachine;

// Watches the main window: every time it is shown, whether the splash was still on screen.
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(WindowRegistry& windows) : m_windows(windows) {}

    int shows = 0;
    int showsBesideSplash = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            ++shows;
            const QWidget* splashWindow = m_windows.loaded(QStringLiteral("splash"));
            if (splashWindow && splashWindow->isVisible())
                ++showsBesideSplash;
        }
        return false;
    }

private:
    WindowRegistry& m_windows;
};

class SplashTest : public ::testing::Test {
protected:
    WindowRegistry& windows() { return machine.app().windows(); }
    QWidget* splashWindow() { return windows().loaded(QStringLiteral("splash")); }
    QWidget* mainWindow() { return windows().loaded(QStringLiteral("Form1")); }

    // Starts the program as main() does, watching the main window from its creation on.
    void start()
    {
        windows().add(QStringLiteral("Form1"), [this](AppContext& context) -> VbForm* {
            auto* form = new Form1(context);
            form->installEventFilter(&watcher);
            return form;
        });
        machine.app().start();
        ASSERT_NE(mainWindow(), nullptr);
        ASSERT_NE(splashWindow(), nullptr);
    }

    // Handles events for ms, or until the splash has gone; whether it has gone.
    bool handleEventsFor(int ms, bool untilSplashCloses = false)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && !(untilSplashCloses && !splashWindow())) {
            if (splashWindow()) {
                EXPECT_FALSE(mainWindow()->isVisible()) << "main window visible beside the splash";
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        return !splashWindow();
    }

    TestMachine machine;
    ShowWatcher watcher{machine.app().windows()};
};

TEST_F(SplashTest, TimerClosesItAfterTwoSecondsAndShowsTheMainWindow)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    start();
    ASSERT_TRUE(handleEventsFor(5000, true)) << "the splash did not close";
    EXPECT_GE(sinceStart.elapsed(), 2000);
    EXPECT_TRUE(mainWindow()->isVisible());
    EXPECT_EQ(watcher.shows, 1);
    EXPECT_EQ(watcher.showsBesideSplash, 0);
}

TEST_F(SplashTest, AClickOnThePictureClosesItAtOnceAndTheTimerStaysQuiet)
{
    start();
    QPointer<QWidget> shown = splashWindow();
    auto* timer = shown->findChild<QTimer*>(QStringLiteral("Timer1"));
    int ticks = 0;
    QObject::connect(timer, &QTimer::timeout, [&ticks] { ++ticks; });

    QTest::mouseClick(shown->findChild<QWidget*>(QStringLiteral("Image1")), Qt::LeftButton);
    EXPECT_EQ(splashWindow(), nullptr);
    EXPECT_TRUE(mainWindow()->isVisible());
    EXPECT_EQ(watcher.showsBesideSplash, 0);

    handleEventsFor(2300);
    EXPECT_TRUE(shown.isNull()) << "the splash was not destroyed";
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(watcher.shows, 1);
    EXPECT_TRUE(mainWindow()->isVisible());
}

TEST_F(SplashTest, ShowsThePictureAloneAndClicksOnTheIconsDoNothing)
{
    start();
    QWidget* shown = splashWindow();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_FALSE(mainWindow()->isVisible());
    for (const char* name : {"Image2", "Image3", "Image4", "Image5"})
        QTest::mouseClick(shown->findChild<QWidget*>(QString::fromLatin1(name)), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(splashWindow(), shown);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_FALSE(mainWindow()->isVisible());
}

// A main window whose load outlasts the splash's two seconds.
class SlowForm1 : public Form1 {
public:
    using Form1::Form1;
    void Form_Load() override
    {
        Form1::Form_Load();
        QThread::msleep(2200);
    }
};

TEST_F(SplashTest, ASlowLoadClosesItWhenEventsAreNextHandled)
{
    windows().add(QStringLiteral("Form1"),
                  [](AppContext& context) -> VbForm* { return new SlowForm1(context); });
    machine.app().start();
    // Nothing has been handled yet: the splash still waits, the main window still hidden.
    ASSERT_NE(splashWindow(), nullptr);
    EXPECT_FALSE(mainWindow()->isVisible());

    QCoreApplication::processEvents();
    EXPECT_EQ(splashWindow(), nullptr);
    EXPECT_TRUE(mainWindow()->isVisible());
}

TEST_F(SplashTest, WithoutASplashTheProgramShowsTheMainWindowItself)
{
    // A main window that opens no splash (as before the splash existed).
    class PlainForm1 : public Form1 {
    public:
        using Form1::Form1;
        void Form_Load() override {}
    };
    windows().add(QStringLiteral("Form1"),
                  [](AppContext& context) -> VbForm* { return new PlainForm1(context); });
    machine.app().start();
    EXPECT_TRUE(mainWindow()->isVisible());
}

} // namespace
} // namespace velmora
