#include "support/TestMachine.h"

#include "platform/AnsiCodePage.h"
#include "platform/HiveStore.h"
#include "platform/RegistryStore.h"
#include "support/RegistryValues.h"

namespace velmora::testing {

TestMachine::TestMachine(const std::function<void(const QString& root)>& layOut)
{
    layOut(m_dir.path());
    m_app = std::make_unique<Velmora>(
        m_dir.path(), Edges{m_boxes, &m_saveAs, &m_launcher, {m_wine.folder()}, m_wine.folder() + "/prefix"},
        m_backups.path());
}

std::optional<TestMachine::Value> TestMachine::storedValue(const QString& keyPath,
                                                           const QString& valueName) const
{
    const MachineFolder& machine = m_app->machine();
    RegistryApi registry(
        machine.kind() == MachineFolder::Kind::Drive
            ? std::unique_ptr<RegistryBackend>(std::make_unique<HiveStore>(machine.registryFile()))
            : std::make_unique<RegistryStore>(machine.registryFile()));
    Value value;
    value.data = valueOf(registry, toAnsi(keyPath), toAnsi(valueName), &value.type);
    return value.data.startsWith('<') ? std::nullopt : std::optional<Value>(value); // "<code>": not read
}

} // namespace velmora::testing
