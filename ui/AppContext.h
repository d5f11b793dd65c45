#pragma once

#include <optional>

namespace velmora {

class MachineFolder;
class MessageBoxes;
class ProfileWriter;
class RegistryApi;
class Module2;
class SettingsStore;
class SaveAsDialog;
class ProgramStarter;
class WindowRegistry;

// The services the windows work through, built once by main() (or by a test) and handed to
// every window. The windows reach files, the registry and the settings store only through these.
struct AppContext {
    MachineFolder& machine;
    MessageBoxes& messageBoxes;
    ProfileWriter& profiles;
    WindowRegistry& windows;
    Module2& registryValues;
    SettingsStore& settings;
    SaveAsDialog& saveAs;
    ProgramStarter& programs;
    RegistryApi& registry;
    // How long the splash stays, in milliseconds; unset, its usual two seconds. Tests shorten it.
    std::optional<int> splashMilliseconds = std::nullopt;
};

} // namespace velmora
