#pragma once

#include "config/Module2.h"
#include "machine/Backups.h"
#include "machine/MachineFolder.h"
#include "machine/ProgramStarter.h"
#include "profile/ProfileWriter.h"
#include "profile/SettingsStore.h"
#include "registry/Registry.h"
#include "ui/AppContext.h"
#include "ui/SaveAsDialog.h"
#include "ui/WindowRegistry.h"

namespace velmora {

class ProcessLauncher;

// What the program meets at its edges and a test replaces: the modal dialogs and the
// starting of host processes.
// Without a Save As dialog every save is cancelled; without a launcher nothing is started.
struct Edges {
    MessageBoxes& messageBoxes;
    SaveAsDialog* saveAs = nullptr;
    ProcessLauncher* launcher = nullptr;
    // Where "wine" is looked for (empty: the PATH) and the Wine prefix programs run in.
    QStringList wineSearchPaths = {};
    QString winePrefix = ProgramStarter::defaultWinePrefix();
};

// The composition root: one machine folder and every service over it, with the program's
// windows registered. main() builds one with the real dialogs; tests build one with doubles.
class Velmora {
public:
    // Backups of the files a run changes go to backupsFolder.
    Velmora(const MachineName& machine, Edges edges,
            const QString& backupsFolder = BackupSession::defaultLocation());
    ~Velmora();

    AppContext& context() { return m_context; }
    WindowRegistry& windows() { return m_windows; }
    const MachineFolder& machine() const { return m_machine; }
    const BackupSession& backups() const { return m_backups; }

    // Loads the start-up window; it is shown at once unless the splash will show it. Once it
    // is on screen, a registry file that cannot be read is reported.
    void start();

    // The registry store of the machine's kind; the sub-commands use it too.
    static std::unique_ptr<RegistryBackend> registryOf(const MachineFolder& machine);

private:
    void registerWindows();
    void warnOfDamagedRegistry();

    // Stands in for a missing Save As dialog: the user cancelled.
    class NoSaveAs : public SaveAsDialog {
    public:
        std::optional<QString> askForFile(const QString&) override { return std::nullopt; }
    };

    NoSaveAs m_noSaveAs;
    MachineFolder m_machine;
    BackupSession m_backups;
    ProfileWriter m_profiles;
    RegistryApi m_registry;
    Module2 m_module2;
    SettingsStore m_settings;
    ProgramStarter m_programs;
    WindowRegistry m_windows;
    AppContext m_context;
};

} // namespace velmora
