#include "app/Splash.h"
#include "support/TestMachine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <QWindow>

namespace velmora {
namespace {

// What the event loop does when the splash's time is up: the timer's own timer event.
void timeRunsOut(QTimer& timer)
{
    QTimerEvent tick(timer.timerId());
    QCoreApplication::sendEvent(&timer, &tick);
}

void clickOn(QWidget& splash, const char* picture)
{
    QTest::mouseClick(splash.findChild<QWidget*>(QString::fromLatin1(picture)), Qt::LeftButton);
}

// The program started as main() does: the splash is up with its timer running, due two seconds
// from its creation, and the main window loaded but not shown. The timer's tick, or a click on
// the picture (not on an icon), closes the splash, shows the main window and leaves no timer
// running behind it.
TEST(SplashTest, ItGoesWhenItsTimeIsUpOrAtAClickOnThePicture)
{
    const struct {
        const char* name;
        std::function<void(QWidget&, QTimer&)> act;
        bool goes;
    } cases[] = {
        {"time up", [](QWidget&, QTimer& timer) { timeRunsOut(timer); }, true},
        {"click on the picture", [](QWidget& splash, QTimer&) { clickOn(splash, "Image1"); }, true},
        {"click on an icon", [](QWidget& splash, QTimer&) { clickOn(splash, "Image2"); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TestMachine machine;
        QElapsedTimer sinceStart;
        sinceStart.start();
        machine.app().start();
        WindowRegistry& windows = machine.app().windows();
        const QPointer<QWidget> splash = windows.loaded("splash");
        QWidget* main = windows.loaded("Form1");
        ASSERT_TRUE(splash && main);
        EXPECT_FALSE(splash->findChild<QLabel*>("Image1")->pixmap().isNull()) << "no picture";
        EXPECT_TRUE(splash->isVisible());
        EXPECT_FALSE(main->isVisible()) << "main window shown beside the splash";
        EXPECT_TRUE(!splash->windowHandle() || !splash->windowHandle()->transientParent())
            << "tied to a hidden window";
        const QPointer<QTimer> timer = splash->findChild<QTimer*>("Timer1");
        ASSERT_TRUE(timer);
        ASSERT_TRUE(timer->isActive()) << "the timer runs from the moment the splash is created";
        const qint64 remaining = timer->remainingTime(), elapsed = sinceStart.elapsed();
        EXPECT_GE(elapsed + remaining, 2000) << "due early: " << remaining << " ms left after " << elapsed;
        EXPECT_LE(remaining, 2000) << "due late";

        c.act(*splash, *timer);

        if (!c.goes) {
            EXPECT_TRUE(splash->isVisible());
            EXPECT_FALSE(main->isVisible());
            EXPECT_TRUE(timer->isActive()) << "the icons stopped the timer";
            continue;
        }
        EXPECT_EQ(windows.loaded("splash"), nullptr);
        EXPECT_FALSE(splash->isVisible()) << "splash and main window seen together";
        EXPECT_TRUE(main->isVisible());
        // The window is destroyed a moment later; in that moment its timer must not tick again.
        EXPECT_FALSE(timer->isActive());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(splash.isNull()) << "the splash was not destroyed";
        EXPECT_TRUE(main->isVisible());
    }
}

} // namespace
} // namespace velmora
