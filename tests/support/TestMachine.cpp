#include "support/TestMachine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/AnsiCodePage.h"
#include "platform/HiveStore.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

namespace velmora::testing {
namespace {

std::optional<TestMachine::Value> readValue(RegistryApi& registry, const QString& keyPath,
                                            const QString& valueName)
{
    HKEY key = 0;
    if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, toAnsi(keyPath), 0, KEY_ALL_ACCESS_9X, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    TestMachine::Value value;
    quint32 size = 0;
    long result = registry.RegQueryValueExA(key, toAnsi(valueName), &value.type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        value.data.resize(size);
        result = registry.RegQueryValueExA(key, toAnsi(valueName), &value.type,
                                           reinterpret_cast<quint8*>(value.data.data()), &size);
    }
    registry.RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

} // namespace

TestMachine::TestMachine()
    : TestMachine([](const QString& root) { QDir(root).mkpath(QStringLiteral("drive_c/WINDOWS")); })
{
}

TestMachine::TestMachine(const std::function<void(const QString& root)>& layOut)
{
    layOut(m_dir.path());
    m_app = std::make_unique<Velmora>(m_dir.path(), Edges{m_boxes}, m_backups.path());
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

std::optional<TestMachine::Value> TestMachine::queryValue(const QString& keyPath, const QString& valueName)
{
    return readValue(*context().registry, keyPath, valueName);
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
    if (machine.kind() == MachineFolder::Kind::Drive) {
        RegistryApi registry(std::make_unique<HiveStore>(machine.registryFile()));
        return readValue(registry, keyPath, valueName);
    }
    RegistryApi registry(machine.registryFile());
    return readValue(registry, keyPath, valueName);
}

void TestMachine::damageRegistry() const
{
    QFile file(m_dir.path() + QStringLiteral("/system.reg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("this is not a registry file\r\n[HKEY_LOCAL_MACHINE\\x\r\n\"broken\r\n");
}

} // namespace velmora::testing
