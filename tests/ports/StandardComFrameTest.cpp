#include "support/WindowTest.h"

#include <QTest>

namespace velmora {
namespace {

using testing::kWinIni;
const QStringList kBoxes = {"comBps", "comParity", "comData", "comStop", "comFlow"};

using PortFrameTest = testing::WindowTest;

// Reading, checks and stored letters are the PortEntry table's; this proves a pick and Apply use them
// (each box for its own field), and that Apply leaves the boxes as they were.
// Only choosing an item, with the mouse or the arrow keys, is a pick that reads the entry; typed text
// never is, however the typing ends. A typed port name keeps the last picked key until the prompt
// typed back is refused.
TEST_F(PortFrameTest, ApplyWritesOnlyTheLastPickedPortsLine)
{
    const QByteArray before =
        "[windows]\r\nload=\r\n\r\n[Ports]\r\nCOM1:=2400,e,7,2,p\r\nCOM2:=9600,n,8,1,x\r\n"
        "COM3:=9600,n,8,1,x\r\nLPT1:=\r\n\r\n[intl]\r\niCountry=1\r\n";
    machine.writeFile(kWinIni, before);
    const auto press = [this](const char* list, Qt::Key key) {
        control(list)->setFocus();
        QTest::keyClick(control(list), key);
    };
    press("comBps", Qt::Key_Down); // an empty list gives its first item
    EXPECT_EQ(shown("comBps"), QStringLiteral("110"));
    EXPECT_FALSE(control("cmdApplyCom")->isEnabled());
    press("cmbCommPorts", Qt::Key_Down); // from the prompt: the first port
    EXPECT_EQ(shownTexts({"cmbCommPorts", "comBps"}), QStringList({"Com Port 1", "2400"}));
    EXPECT_TRUE(control("cmdApplyCom")->isEnabled());
    type("cmbCommPorts", "Com Port 2");
    press("cmbCommPorts", Qt::Key_Return);
    EXPECT_EQ(shownTexts({"cmbCommPorts", "comBps"}), QStringList({"Com Port 2", "2400"}));
    pick("cmbCommPorts", "Com Port 2");
    EXPECT_EQ(shownTexts(kBoxes), QStringList({"9600", "None", "8", "1", "Xon / Xoff"}));
    type("comStop", "");
    clickExpecting("cmdApplyCom", QStringLiteral("Must Select a Stop Bit"), MsgIcon::Exclamation);
    EXPECT_EQ(machine.readFile(kWinIni), before);

    pick("cmbCommPorts", "Com Port 3");
    type("cmbCommPorts", "Com Port 9");
    type("comBps", "57600");
    clickExpecting("cmdApplyCom", QStringLiteral("Comm Settings have Been Changed!"));
    const QByteArray after = QByteArray(before).replace("COM3:=9600,n,8,1,x", "COM3:=57600,n,8,1,x");
    EXPECT_EQ(machine.readFile(kWinIni).toStdString(), after.toStdString());
    EXPECT_EQ(shownTexts(kBoxes), QStringList({"57600", "None", "8", "1", "Xon / Xoff"}))
        << "left as they were";
    type("cmbCommPorts", "Select a Comm Port");
    clickExpecting("cmdApplyCom", QStringLiteral("You Must Select a Comm Port!"), MsgIcon::Exclamation);
    type("comBps", "1");
    pick("cmbCommPorts", "Com Port 3");
    EXPECT_EQ(shown("comBps"), "57600");
}

} // namespace
} // namespace velmora
