#include "app/FrmAbout.h"

#include "platform/AnsiCodePage.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgramStarter.h"
#include "ui/AppContext.h"
#include "ui/Look.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace velmora {
namespace {

constexpr QSize kWindowSize{420, 262};
constexpr quint32 kBufferLength = 1024;

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

// The red frame drawn along the window's edge (the red of the tips labels); it takes no clicks.
void makeShape(QWidget* window)
{
    auto* shape = new QFrame(window);
    shape->setObjectName(QStringLiteral("Shape1"));
    shape->setFrameStyle(QFrame::Box | QFrame::Plain);
    shape->setLineWidth(2);
    QPalette palette = shape->palette();
    palette.setColor(QPalette::WindowText, colours::tips);
    shape->setPalette(palette);
    shape->setAttribute(Qt::WA_TransparentForMouseEvents);
    shape->setGeometry(window->rect());
    shape->lower();
}

// A 32-bit number as decimal text, from the bytes that were kept (little-endian; a dropped
// last byte was a zero, so it changes nothing).
QString numberText(QByteArrayView bytes)
{
    quint32 number = 0;
    for (qsizetype i = std::min<qsizetype>(bytes.size(), 4); i-- > 0;)
        number = (number << 8) | quint8(bytes[i]);
    return QString::number(number);
}

} // namespace

frmAbout::frmAbout(AppContext& context) : VbForm(context)
{
    setUpBorderlessWindow(this, QStringLiteral("About Velmora"), kWindowSize);
    makeShape(this);

    QLabel* name =
        makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Velmora 1.2"), {20, 16, 200, 30});
    makeBold(name, 16);

    QLabel* description =
        makeLabel(this, QStringLiteral("Label6"),
                  QStringLiteral(
                      "Velmora tunes the way Windows talks to your modem: the right port speed, larger "
                      "buffers and a well-sized MTU packet. Most users see their downloads finish noticeably "
                      "sooner, web pages arrive with less waiting and connections stay steady for longer. "
                      "Set it once and enjoy the extra speed every time you dial in."),
                  {20, 58, kWindowSize.width() - 40, 136});
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    description->setGeometry(20, 58, kWindowSize.width() - 40, 136);

    auto* close = makeButton(this, QStringLiteral("Command1"), QStringLiteral("Close"),
                             QStringLiteral("Click to Close"), {20, 212, 110, 30});
    auto* sysInfo = makeButton(this, QStringLiteral("Command2"), QStringLiteral("System Info"),
                               QStringLiteral("Click to see your system info!!"),
                               {kWindowSize.width() - 130, 212, 110, 30});
    connect(close, &QPushButton::clicked, this, &frmAbout::Command1_Click);
    connect(sysInfo, &QPushButton::clicked, this, &frmAbout::Command2_Click);
}

void frmAbout::Command1_Click()
{
    close();
}
void frmAbout::Command2_Click()
{
    StartSysInfo();
}

// The tool's own path wins; only when there is none is its folder asked. A path that is there
// but cannot be started is not made up for by the folder.
void frmAbout::StartSysInfo()
{
    try {
        HKEY root = HKEY_LOCAL_MACHINE;
        QString path;
        if (GetKeyValue(root, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                        QStringLiteral("PATH"), path)) {
            if (m_context.programs && m_context.programs->start(path))
                return;
        } else if (GetKeyValue(root, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                               QStringLiteral("MSINFO"), path)) {
            path += QStringLiteral("\\MSINFO32.EXE");
            if (m_context.programs && m_context.programs->fileExists(path) && m_context.programs->start(path))
                return;
        }
    } catch (const std::exception&) {
        // Falls through to the message, like every other failure.
    }
    m_context.messageBoxes.inform(kUnavailable);
}

bool frmAbout::GetKeyValue(HKEY& KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal)
{
    RegistryApi* registry = m_context.registry;
    HKEY hKey = 0;
    if (!registry ||
        registry->RegOpenKeyExA(KeyRoot, toAnsi(KeyName), 0, KEY_ALL_ACCESS_9X, &hKey) != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }

    QByteArray tmpVal(kBufferLength, '\0');
    quint32 KeyValSize = kBufferLength;
    quint32 KeyValType = 0;
    if (registry->RegQueryValueExA(hKey, toAnsi(SubKeyRef), &KeyValType,
                                   reinterpret_cast<quint8*>(tmpVal.data()), &KeyValSize) != ERROR_SUCCESS) {
        KeyVal.clear();
        registry->RegCloseKey(hKey);
        return false;
    }

    // A value of no bytes has no last character to look at: an error for the caller, who then
    // reports the tool unavailable.
    if (KeyValSize == 0 || KeyValSize > kBufferLength) {
        registry->RegCloseKey(hKey);
        throw KeyValueError("the value reports a size that cannot be read");
    }
    // A text stored with its terminating zero loses it; one stored without keeps every character.
    const QByteArrayView kept(tmpVal.constData(),
                              tmpVal[KeyValSize - 1] == '\0' ? KeyValSize - 1 : KeyValSize);

    switch (KeyValType) {
    case REG_SZ:
        KeyVal = fromAnsi(kept);
        break;
    case REG_DWORD:
        KeyVal = numberText(kept);
        break;
    default:
        break; // any other type leaves KeyVal as it came
    }
    registry->RegCloseKey(hKey);
    return true;
}

} // namespace velmora
