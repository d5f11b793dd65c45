#include "app/Velmora.h"

#include "app/Artwork.h"
#include "app/Form1.h"
#include "app/FrmAbout.h"
#include "app/Splash.h"
#include "bandwidth/Form6.h"
#include "buffers/Form5.h"
#include "modeminfo/Form2.h"
#include "ports/Form3.h"
#include "registry/HiveStore.h"
#include "registry/RegistryStore.h"
#include "tweaks/Form4.h"
#include "ui/Look.h"
#include "ui/MessageBoxes.h"
#include "ui/VbForm.h"

#include <QEvent>
#include <QFileInfo>
#include <QTimer>

#include <functional>

namespace velmora {
namespace {

template <typename Form> void addForm(WindowRegistry& windows)
{
    windows.add(WindowRegistry::formName(Form::staticMetaObject),
                [](AppContext& context) -> VbForm* { return new Form(context); });
}

} // namespace

// A drive (on a disk image too) keeps HKEY_LOCAL_MACHINE in its binary SYSTEM.DAT, a machine
// folder in a REGEDIT4 file.
std::unique_ptr<RegistryBackend> Velmora::registryOf(const MachineFolder& machine)
{
    if (machine.kind() == MachineFolder::Kind::Image)
        return std::make_unique<HiveStore>(machine.registryFile(), machine.drive());
    if (machine.kind() == MachineFolder::Kind::Drive)
        return std::make_unique<HiveStore>(machine.registryFile(), machine.driveC());
    return std::make_unique<RegistryStore>(machine.registryFile());
}

namespace {

// Runs an action once, just after the window it watches first appears: queued behind the
// showing, so that the window is on screen before whatever the action opens over it.
class AfterFirstShow : public QObject {
public:
    AfterFirstShow(QWidget* window, std::function<void()> action)
        : QObject(window), m_action(std::move(action))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                m_action();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> m_action;
};

} // namespace

Velmora::Velmora(const MachineName& machine, Edges edges, const QString& backupsFolder)
    : m_machine(machine), m_backups(backupsFolder, machine.root),
      m_profiles(m_machine, backupsOf(m_machine, m_backups)), m_registry(registryOf(m_machine)),
      m_module2(m_registry), m_programs(m_machine, edges.launcher, edges.wineSearchPaths, edges.winePrefix),
      m_context{m_machine,
                edges.messageBoxes,
                m_profiles,
                m_windows,
                m_module2,
                m_settings,
                edges.saveAs ? *edges.saveAs : m_noSaveAs,
                m_programs,
                m_registry}
{
    m_registry.store().setBackups(backupsOf(m_machine, m_backups));
    m_windows.setContext(m_context);
    registerArtwork();
    useProgramFont();
    registerWindows();
}

Velmora::~Velmora()
{
    m_windows.unloadAll();
}

// Every window of the program, by its class name.
void Velmora::registerWindows()
{
    addForm<Form1>(m_windows);
    addForm<splash>(m_windows);
    addForm<frmAbout>(m_windows);
    addForm<Form2>(m_windows);
    addForm<Form3>(m_windows);
    addForm<Form4>(m_windows);
    addForm<Form5>(m_windows);
    addForm<Form6>(m_windows);
}

void Velmora::start()
{
    VbForm* main = m_windows.load(QStringLiteral("Form1"));
    if (!main)
        return;
    new AfterFirstShow(main, [this] { warnOfDamagedRegistry(); });
    if (!m_windows.loaded(QStringLiteral("splash")))
        main->show();
}

// The windows show a registry they cannot read as if it were empty; the user learns here, not
// at the first write, that what they see is not the machine's. A registry that is missing, or
// something other than an ordinary file in its place, is no damage to report: each write says
// what is wrong with it.
void Velmora::warnOfDamagedRegistry()
{
    RegistryBackend& store = m_registry.store();
    if (!store.isDamaged() || !QFileInfo(store.filePath()).isFile())
        return;
    m_context.messageBoxes.inform(
        QStringLiteral("The registry %1 cannot be read:\n%2\n\nThe settings shown are not read from it, and "
                       "Velmora will not change it.")
            .arg(store.filePath(), store.damage()),
        MsgIcon::Exclamation);
}

} // namespace velmora
