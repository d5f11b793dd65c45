#include "support/TestMachine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/AnsiCodePage.h"
#include "platform/HiveStore.h"
#include "platform/Registry.h"
#include "platform/RegistryStore.h"
#include "support/RegistryValues.h"

#include <gtest/gtest.h>

namespace velmora::testing {

TestMachine::TestMachine()
    : TestMachine([](const QString& root) { QDir(root).mkpath(QStringLiteral("drive_c/WINDOWS")); })
{
}

TestMachine::TestMachine(const std::function<void(const QString& root)>& layOut)
{
    layOut(m_dir.path());
    m_app = std::make_unique<Velmora>(
        m_dir.path(), Edges{m_boxes, &m_saveAs, &m_launcher, {m_wine.folder()}, m_wine.folder() + "/prefix"},
        m_backups.path());
}

TestMachine::~TestMachine()
{
    m_app.reset();
}

QString TestMachine::hostFile(const QString& relative) const
{
    return m_app->machine().driveC() + QLatin1Char('/') + relative;
}

void TestMachine::writeFile(const QString& relative, const QByteArray& bytes) const
{
    const QString path = hostFile(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

QByteArray TestMachine::readFile(const QString& relative) const
{
    QFile file(hostFile(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestMachine::writeRegistry(const QByteArray& blocks) const
{
    QFile file(m_dir.path() + QStringLiteral("/system.reg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QByteArray text = "REGEDIT4\r\n\r\n" + blocks;
    file.write(text.replace("\r\n", "\n").replace("\n", "\r\n"));
}

QByteArray TestMachine::registryBytes() const
{
    QFile file(m_app->machine().registryFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::optional<TestMachine::Value> TestMachine::storedValue(const QString& keyPath,
                                                           const QString& valueName) const
{
    const MachineFolder& machine = m_app->machine();
    std::unique_ptr<RegistryBackend> store;
    if (machine.kind() == MachineFolder::Kind::Drive)
        store = std::make_unique<HiveStore>(machine.registryFile());
    else
        store = std::make_unique<RegistryStore>(machine.registryFile());
    RegistryApi registry(std::move(store));
    Value value;
    value.data = valueOf(registry, toAnsi(keyPath), toAnsi(valueName), &value.type);
    return value.data.startsWith('<') ? std::nullopt : std::optional<Value>(value); // "<code>": not read
}

void TestMachine::damageRegistry() const
{
    QFile file(m_dir.path() + QStringLiteral("/system.reg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("this is not a registry file\r\n[HKEY_LOCAL_MACHINE\\x\r\n\"broken\r\n");
}

} // namespace velmora::testing
