#include "app/Splash.h"
#include "support/TestMachine.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace velmora {
namespace {

// The program started as main() does: the splash is up and the main window loaded but not shown.
// Its time running out, or a click on the picture (not on an icon), closes it and shows the main
// window; after a click the timer stays quiet. A user sees it for two seconds, never less; the
// tests mostly do not wait that long.
TEST(SplashTest, ItGoesAtItsTimeOrAtAClickOnThePicture)
{
    for (const auto& [milliseconds, byClick] :
         {std::pair<std::optional<int>, bool>{50, false}, {50, true}, {std::nullopt, true}}) {
        SCOPED_TRACE(milliseconds.value_or(2000));
        testing::TestMachine machine;
        machine.app().context().splashMilliseconds = milliseconds;
        machine.app().start();
        WindowRegistry& windows = machine.app().windows();
        const QPointer<QWidget> shown = windows.loaded(QStringLiteral("splash"));
        QWidget* main = windows.loaded(QStringLiteral("Form1"));
        ASSERT_TRUE(shown && main);
        EXPECT_FALSE(shown->findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull()) << "no picture";
        EXPECT_FALSE(main->isVisible()) << "main window shown beside the splash";
        EXPECT_TRUE(!shown->windowHandle() || !shown->windowHandle()->transientParent())
            << "tied to a hidden window";
        auto* timer = shown->findChild<QTimer*>(QStringLiteral("Timer1"));
        EXPECT_EQ(timer->interval(), milliseconds.value_or(2000));
        EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
        int ticks = 0;
        if (byClick) {
            timer->blockSignals(true); // however slow the machine, only a click may close it here
            QTest::mouseClick(shown->findChild<QWidget*>(QStringLiteral("Image2")), Qt::LeftButton);
            QCoreApplication::processEvents();
            ASSERT_EQ(windows.loaded(QStringLiteral("splash")), shown.data()) << "the icons only decorate";
            timer->blockSignals(false);
            QObject::connect(timer, &QTimer::timeout, [&ticks] { ++ticks; });
            QTest::mouseClick(shown->findChild<QWidget*>(QStringLiteral("Image1")), Qt::LeftButton);
            EXPECT_EQ(windows.loaded(QStringLiteral("splash")), nullptr);
        }
        QTest::qWait(300);
        EXPECT_EQ(windows.loaded(QStringLiteral("splash")), nullptr);
        EXPECT_TRUE(main->isVisible());
        EXPECT_TRUE(shown.isNull()) << "the splash was not destroyed";
        EXPECT_EQ(ticks, 0);
    }
}

} // namespace
} // namespace velmora
