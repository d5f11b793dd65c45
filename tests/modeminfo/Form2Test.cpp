#include "modeminfo/Form2.h"
#include "support/FileFixtures.h"
#include "support/RegistryValues.h"
#include "support/WindowTest.h"

namespace velmora {
namespace {

using Form2Test = testing::WindowTest;

// The value "1" sits under three keys: each row takes its own; a missing value shows "Unknown".
// Read once, when the window opens: the report saves what it shows, byte for byte, even after
// the registry changed; a registry changed meanwhile shows at the next opening.
TEST_F(Form2Test, ShowsAndSavesEveryRowAsReadWhenOpening)
{
    const QByteArray modem = "System\\CurrentControlSet\\Services\\Class\\Modem\\0000";
    for (const auto& [key, name] : {std::pair<QByteArray, QByteArray>{"", "Manufacturer"},
                                    {"\\Settings\\Init", "1"},
                                    {"\\Hangup", "1"},
                                    {"\\Init", "1"},
                                    {"\\Init", "2"}})
        ASSERT_EQ(testing::putValue(machine.context().registry, modem + key, name, REG_SZ,
                                    key.isEmpty() ? "Caf\xe9" : key + name),
                  ERROR_SUCCESS);
    QStringList labels;
    for (int row = 1; row <= 30; ++row)
        labels.append(QStringLiteral("Label%1").arg(row));
    ASSERT_NE(openFrom<Form2>("cmdModemInfo"), nullptr);
    const QStringList captions = shownTexts(labels);
    EXPECT_EQ(captions.mid(0, 2),
              (QStringList{QStringLiteral("Manufacturer - Caf\u00e9"), "Model - Unknown"}));
    EXPECT_EQ(captions.mid(26),
              (QStringList{"Modem Initialization String - \\Settings\\Init1", "HangUp - \\Hangup1",
                           "Initialization String 1 - \\Init1", "Initialization String 2 - \\Init2"}));
    machine.writeRegistry("");
    click("cmdModemInfo", mainWindow());
    EXPECT_EQ(shownTexts(labels), captions);

    const QString reports = machine.root() + QStringLiteral("/reports");
    machine.saveAs().cancel();
    click("Command1");
    EXPECT_TRUE(testing::folderEntries(reports).isEmpty());
    const QString path = reports + QStringLiteral("/modem.txt");
    ASSERT_TRUE(testing::writeBytes(path, QByteArray(5000, 'x')));
    machine.saveAs().pick(path);
    clickExpecting("Command1", QStringLiteral("Information has been saved to ") + path);
    EXPECT_EQ(machine.saveAs().lastPattern(), QStringLiteral("*.txt"));
    EXPECT_EQ(testing::readBytes(path), (captions.join("\r\n") + "\r\n").toLatin1()); // Windows-1252

    window->close();
    ASSERT_NE(openFrom<Form2>("cmdModemInfo"), nullptr);
    EXPECT_EQ(shown("Label1"), QStringLiteral("Manufacturer - Unknown"));
}

} // namespace
} // namespace velmora
