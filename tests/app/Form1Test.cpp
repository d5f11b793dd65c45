#include "support/WindowTest.h"

#include <QComboBox>

namespace velmora {
namespace {

using Form1Test = testing::WindowTest;

TEST_F(Form1Test, LoadFillsTheListsInOrder)
{
    const struct {
        const char* name;
        QStringList items;
        const char* text;
    } lists[] = {
        {"cmbCommPorts", {"Com Port 1", "Com Port 2", "Com Port 3", "Com Port 4"}, "Select a Comm Port"},
        {"comBps",
         {"110", "300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200", "230400",
          "460800", "921600"},
         ""},
        {"comParity", {"None", "Even", "Odd", "Mark", "Space"}, ""},
        {"comData", {"1", "4", "5", "6", "7", "8"}, ""},
        {"comStop", {"1", "1.5", "2"}, ""},
        {"comFlow", {"None", "Hardware", "Xon / Xoff"}, ""},
    };
    for (const auto& l : lists) {
        auto* list = control<QComboBox>(l.name);
        ASSERT_NE(list, nullptr);
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        EXPECT_EQ(items, l.items) << l.name;
        EXPECT_EQ(list->currentText().toStdString(), l.text) << l.name;
    }
}

TEST_F(Form1Test, ComSettingsNeedsAPortFirst)
{
    machine.boxes().expect(QStringLiteral("Please select a comm port from the Comm Settings Box"),
                           MsgIcon::Exclamation);
    click("cmdCustomCommSet");
    machine.boxes().verifyAllShown();
    EXPECT_EQ(machine.app().windows().loaded(QStringLiteral("Form3")), nullptr);
}

TEST_F(Form1Test, InvokableIniFunctionsWorkByName)
{
    QString field;
    ASSERT_TRUE(QMetaObject::invokeMethod(mainWindow(), "mfncParseString", Q_RETURN_ARG(QString, field),
                                          Q_ARG(QString, "9600,n,8,1"), Q_ARG(qint16, 3),
                                          Q_ARG(QString, ",")));
    EXPECT_EQ(field.toStdString(), "8");

    machine.writeFile(QStringLiteral("WINDOWS/WIN.INI"),
                      "[windows]\r\nload=\r\n\r\n[Ports]\r\nCOM1:=2400,n,8,1\r\n");
    qint16 result = 0;
    ASSERT_TRUE(QMetaObject::invokeMethod(
        mainWindow(), "mfncWriteIni", Q_RETURN_ARG(qint16, result), Q_ARG(QString, "Ports"),
        Q_ARG(QString, "COM1:"), Q_ARG(QString, "9600,n,8,1"), Q_ARG(QString, "c:\\windows\\win.ini")));
    EXPECT_NE(result, 0);
    EXPECT_EQ(machine.readFile(QStringLiteral("WINDOWS/WIN.INI")).toStdString(),
              "[windows]\r\nload=\r\n\r\n[Ports]\r\nCOM1:=9600,n,8,1\r\n");
}

} // namespace
} // namespace velmora
