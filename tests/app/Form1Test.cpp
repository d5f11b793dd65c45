#include "app/Form1.h"
#include "support/TestMachine.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::TestMachine;

class Form1Test : public ::testing::Test {
protected:
    Form1* load()
    {
        auto* form = qobject_cast<Form1*>(machine.app().windows().load(QStringLiteral("Form1")));
        EXPECT_NE(form, nullptr);
        return form;
    }
    template <typename T> T* control(const char* name)
    {
        auto* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    TestMachine machine;
    Form1* form = load();
};

struct ControlText {
    const char* name;
    const char* text;
    const char* tooltip;
};

TEST_F(Form1Test, ButtonsCarryTheirCaptionsAndTooltips)
{
    const ControlText buttons[] = {
        {"Command1", "&About Velmora", "Click here to find out about Velmora"},
        {"cmdBandwidth", "Bandwidth", "Advanced Bandwith control"},
        {"cmdModemInfo", "Modem Info", "Advanced Modem Information"},
        {"cmdCustomBufferSet", "Buffer Settings", "Advanced Buffer Settings"},
        {"cmdCustomModemSet", "Modem Settings", "Advanced Modem Settings"},
        {"cmdCustomCommSet", " Com Settings", "Advanced Comm Port Settings"},
        {"cmdApplyCom", "Apply Changes to Com Port Settings", "Click here to apply changes you have made"},
        {"cmdSetMaxInst", "Set", "Click to Set the Number of Max Instances"},
        {"Command2", "Set Selected MTU Packet size for AOL 4.0", "Set this MTU Size for AOL"},
        {"Command3", "Set Selected MTU Packet size for your Modem", "Set this MTU Size for Dial - Up Network Connections"},
    };
    for (const ControlText& b : buttons) {
        auto* button = control<QPushButton>(b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text().toStdString(), b.text) << b.name;
        EXPECT_EQ(button->toolTip().toStdString(), b.tooltip) << b.name;
    }
    EXPECT_EQ(form->windowTitle().toStdString(), "Velmora 1.2");
    EXPECT_EQ(form->size(), QSize(657, 475));
}

TEST_F(Form1Test, LoadFillsTheListsInOrder)
{
    const struct {
        const char* name;
        QStringList items;
        const char* text;
    } lists[] = {
        {"cmbCommPorts", {"Com Port 1", "Com Port 2", "Com Port 3", "Com Port 4"}, "Select a Comm Port"},
        {"comBps",
         {"110", "300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200", "230400", "460800",
          "921600"},
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
        EXPECT_TRUE(list->isEditable()) << l.name;
        EXPECT_EQ(list->completer(), nullptr) << l.name;
    }
    EXPECT_FALSE(control<QPushButton>("cmdApplyCom")->isEnabled());
    EXPECT_TRUE(control<QLabel>("tip1")->font().bold());
    EXPECT_TRUE(control<QLabel>("lblTips")->font().bold());
    EXPECT_EQ(control<QLabel>("lblTips")->font().pointSize(), 9);
    EXPECT_EQ(control<QLineEdit>("txtMaxInst")->maxLength(), 2);
    EXPECT_TRUE(control<QRadioButton>("optMTU_0")->isChecked());
}

TEST_F(Form1Test, ComSettingsNeedsAPortFirst)
{
    machine.boxes().expect(QStringLiteral("Please select a comm port from the Comm Settings Box"), MsgIcon::Exclamation);
    QTest::mouseClick(control<QPushButton>("cmdCustomCommSet"), Qt::LeftButton);
    machine.boxes().verifyAllShown();
    EXPECT_EQ(machine.app().windows().loaded(QStringLiteral("Form3")), nullptr);
}

TEST_F(Form1Test, InvokableIniFunctionsWorkByName)
{
    QString field;
    ASSERT_TRUE(QMetaObject::invokeMethod(form, "mfncParseString", Q_RETURN_ARG(QString, field),
                                          Q_ARG(QString, QStringLiteral("9600,n,8,1")), Q_ARG(qint16, 3),
                                          Q_ARG(QString, QStringLiteral(","))));
    EXPECT_EQ(field.toStdString(), "8");

    machine.writeFile(QStringLiteral("WINDOWS/WIN.INI"), "[windows]\r\nload=\r\n\r\n[Ports]\r\nCOM1:=2400,n,8,1\r\n");
    qint16 result = 0;
    ASSERT_TRUE(QMetaObject::invokeMethod(form, "mfncWriteIni", Q_RETURN_ARG(qint16, result),
                                          Q_ARG(QString, QStringLiteral("Ports")), Q_ARG(QString, QStringLiteral("COM1:")),
                                          Q_ARG(QString, QStringLiteral("9600,n,8,1")),
                                          Q_ARG(QString, QStringLiteral("c:\\windows\\win.ini"))));
    EXPECT_NE(result, 0);
    EXPECT_EQ(machine.readFile(QStringLiteral("WINDOWS/WIN.INI")).toStdString(),
              "[windows]\r\nload=\r\n\r\n[Ports]\r\nCOM1:=9600,n,8,1\r\n");
}

} // namespace
} // namespace velmora
