#include "app/Velmora.h"

#include "app/Artwork.h"
#include "app/Form1.h"
#include "app/FrmAbout.h"
#include "app/Splash.h"
#include "bandwidth/Form6.h"
#include "buffers/Form5.h"
#include "modeminfo/Form2.h"
#include "platform/HiveStore.h"
#include "platform/RegistryStore.h"
#include "ports/Form3.h"
#include "tweaks/Form4.h"
#include "ui/Look.h"
#include "ui/VbForm.h"

namespace velmora {
namespace {

template <typename Form> void addForm(WindowRegistry& windows)
{
    windows.add(WindowRegistry::formName(Form::staticMetaObject),
                [](AppContext& context) -> VbForm* { return new Form(context); });
}

} // namespace

// A drive keeps HKEY_LOCAL_MACHINE in its binary SYSTEM.DAT, a machine folder in a REGEDIT4 file.
std::unique_ptr<RegistryBackend> Velmora::registryOf(const MachineFolder& machine)
{
    if (machine.kind() == MachineFolder::Kind::Drive)
        return std::make_unique<HiveStore>(machine.registryFile(), machine.driveC());
    return std::make_unique<RegistryStore>(machine.registryFile());
}

Velmora::Velmora(const QString& machineRoot, Edges edges, const QString& backupsFolder)
    : m_machine(machineRoot), m_backups(backupsFolder, machineRoot), m_profiles(m_machine, &m_backups),
      m_registry(registryOf(m_machine)), m_module2(m_registry),
      m_programs(m_machine, edges.launcher, edges.wineSearchPaths, edges.winePrefix), m_context{
                                                                                          m_machine,
                                                                                          edges.messageBoxes,
                                                                                          m_profiles,
                                                                                          m_windows,
                                                                                          m_module2,
                                                                                          m_settings,
                                                                                          edges.saveAs
                                                                                              ? *edges.saveAs
                                                                                              : m_noSaveAs,
                                                                                          m_programs,
                                                                                          m_registry}
{
    m_registry.store().setBackups(&m_backups);
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
    if (main && !m_windows.loaded(QStringLiteral("splash")))
        main->show();
}

} // namespace velmora
