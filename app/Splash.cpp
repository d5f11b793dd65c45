#include "app/Splash.h"

#include "ui/AppContext.h"
#include "ui/ClickablePicture.h"
#include "ui/Look.h"
#include "ui/WindowRegistry.h"

#include <QTimer>

#include <iterator>

namespace velmora {
namespace {

constexpr int kShowMilliseconds = 2000;
constexpr int kIconSize = 32;
constexpr int kIconGap = 24;
constexpr int kIconBottomMargin = 14;

struct Icon {
    const char* name;
    const char* resource;
};
constexpr Icon kIcons[] = {
    {"Image2", ":/icons/port.png"},
    {"Image3", ":/icons/modem.png"},
    {"Image4", ":/icons/buffer.png"},
    {"Image5", ":/icons/network.png"},
};

} // namespace

splash::splash(AppContext& context) : VbForm(context)
{
    m_image1 = makePicture(this, QStringLiteral("Image1"), QStringLiteral(":/images/splash.jpg"), {});
    const QSize pictureSize = m_image1->pictureSize();
    m_image1->resize(pictureSize);
    setUpBorderlessWindow(this, QStringLiteral("Velmora"), pictureSize);

    // The icons sit on the picture, centred in a row near its lower edge; they only decorate.
    const int count = int(std::size(kIcons));
    const int rowWidth = count * kIconSize + (count - 1) * kIconGap;
    int left = (pictureSize.width() - rowWidth) / 2;
    const int top = pictureSize.height() - kIconSize - kIconBottomMargin;
    for (const Icon& icon : kIcons) {
        makePicture(this, QString::fromLatin1(icon.name), QString::fromLatin1(icon.resource),
                    {left, top, kIconSize, kIconSize});
        left += kIconSize + kIconGap;
    }

    // Precise: the splash must never go before its two seconds are up.
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setTimerType(Qt::PreciseTimer);
    m_timer1->setSingleShot(true);
    m_timer1->setInterval(m_context.splashMilliseconds.value_or(kShowMilliseconds));
    connect(m_timer1, &QTimer::timeout, this, &splash::Timer1_Timer);
    connect(m_image1, &ClickablePicture::clicked, this, &splash::Image1_Click);
    m_timer1->start();
}

QWidget* splash::mainWindow() const
{
    return m_context.windows.loaded(QStringLiteral("Form1"));
}

void splash::Form_Load()
{
    if (QWidget* main = mainWindow())
        main->hide();
    m_image1->move(m_image1->x(), 0);
    m_image1->move(0, m_image1->y());
    setFixedHeight(m_image1->height());
    setFixedWidth(m_image1->width());
    centreOnScreen(this);
}

void splash::Image1_Click()
{
    close();
}
void splash::Timer1_Timer()
{
    close();
}

void splash::Form_Unload()
{
    // The window is destroyed a moment later; its timer must not fire in that moment. It
    // leaves the screen before the main window comes, so the two are never seen together.
    m_timer1->stop();
    hide();
    if (QWidget* main = mainWindow()) {
        main->show();
        main->raise();
        main->activateWindow();
    }
}

} // namespace velmora
