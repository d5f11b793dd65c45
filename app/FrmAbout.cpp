#include "app/FrmAbout.h"

#include "config/QueriedValue.h"
#include "core/AnsiCodePage.h"
#include "machine/ProgramStarter.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/MessageBoxes.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace velmora {
namespace {

// The window and its controls in twips.
constexpr int kWindowWidth = 6300, kWindowHeight = 3930;
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

} // namespace

frmAbout::frmAbout(AppContext& context) : VbForm(context)
{
    setUpBorderlessWindow(this, QStringLiteral("About Velmora"),
                          QSize(twips(kWindowWidth), twips(kWindowHeight)));
    makeShape(this);

    QLabel* name = makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Velmora 1.2"),
                             twipsRect(300, 240, 3000, 450));
    makeBold(name, 16);

    QLabel* description =
        makeLabel(this, QStringLiteral("Label6"),
                  QStringLiteral(
                      "Velmora tunes the way Windows talks to your modem: the right port speed, larger "
                      "buffers and a well-sized MTU packet. Most users see their downloads finish noticeably "
                      "sooner, web pages arrive with less waiting and connections stay steady for longer. "
                      "Set it once and enjoy the extra speed every time you dial in."),
                  twipsRect(300, 870, kWindowWidth - 600, 2040));
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    description->setGeometry(twipsRect(300, 870, kWindowWidth - 600, 2040));

    auto* close = makeButton(this, QStringLiteral("Command1"), QStringLiteral("Close"),
                             QStringLiteral("Click to Close"), twipsRect(300, 3180, 1650, 450));
    auto* sysInfo = makeButton(this, QStringLiteral("Command2"), QStringLiteral("System Info"),
                               QStringLiteral("Click to see your system info!!"),
                               twipsRect(kWindowWidth - 1950, 3180, 1650, 450));
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
    HKEY root = HKEY_LOCAL_MACHINE;
    QString path;
    const Result<bool> pathRead = GetKeyValue(
        root, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"), path);
    if (pathRead.ok() && pathRead.value()) {
        if (m_context.programs.start(path).ok())
            return;
    } else if (pathRead.ok()) {
        const Result<bool> folderRead =
            GetKeyValue(root, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                        QStringLiteral("MSINFO"), path);
        if (folderRead.ok() && folderRead.value()) {
            path += QStringLiteral("\\MSINFO32.EXE");
            if (m_context.programs.fileExists(path) && m_context.programs.start(path).ok())
                return;
        }
    }
    m_context.messageBoxes.inform(kUnavailable);
}

Result<bool> frmAbout::GetKeyValue(HKEY& KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                                   QString& KeyVal)
{
    RegistryApi& registry = m_context.registry;
    HKEY hKey = 0;
    if (registry.RegOpenKeyExA(KeyRoot, toAnsi(KeyName), 0, KEY_ALL_ACCESS_9X, &hKey) != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }

    QByteArray tmpVal(kBufferLength, '\0');
    quint32 KeyValSize = kBufferLength;
    quint32 KeyValType = 0;
    const long status = registry.RegQueryValueExA(hKey, toAnsi(SubKeyRef), &KeyValType,
                                                  reinterpret_cast<quint8*>(tmpVal.data()), &KeyValSize);
    registry.RegCloseKey(hKey);
    if (status != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }
    // A value of no bytes has no last character to look at: the caller reports the tool
    // unavailable rather than asking elsewhere.
    if (KeyValSize == 0 || KeyValSize > kBufferLength)
        return failure(QStringLiteral("the value reports a size that cannot be read"));
    if (const std::optional<QString> text =
            queriedValueText(KeyValType, QByteArrayView(tmpVal).first(KeyValSize)))
        KeyVal = *text;
    return true;
}

} // namespace velmora
