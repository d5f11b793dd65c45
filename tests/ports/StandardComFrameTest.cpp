#include "support/WindowTest.h"

namespace velmora {
namespace {

const QString kWinIni = QStringLiteral("WINDOWS/WIN.INI");
const QString kChanged = QStringLiteral("Comm Settings have Been Changed!");
const char* const kBoxes[] = {"comBps", "comParity", "comData", "comStop", "comFlow"};

class PortFrameTest : public testing::WindowTest {
protected:
    QStringList shownBoxes()
    {
        QStringList texts;
        for (const char* name : kBoxes)
            texts << shown(name);
        return texts;
    }
    void apply()
    {
        machine.boxes().expect(kChanged);
        click("cmdApplyCom");
    }
};

// Reading, checks and stored letters are the PortEntry table's; this proves a pick and Apply
// use them, and that only a pick (not typing a port name) reads the entry.
TEST_F(PortFrameTest, ApplyRefusesAnEmptyListAndWritesOnlyThePortsLine)
{
    const QByteArray before =
        "[windows]\r\nload=\r\n\r\n[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=9600,n,8,1,x\r\n"
        "LPT1:=\r\n\r\n[intl]\r\niCountry=1\r\n";
    machine.writeFile(kWinIni, before);
    type("cmbCommPorts", "Com Port 2");
    EXPECT_FALSE(control("cmdApplyCom")->isEnabled());
    pick("cmbCommPorts", "Com Port 2");
    EXPECT_EQ(shownBoxes(), QStringList({"9600", "None", "8", "1", "Xon / Xoff"}));
    type("comStop", "");
    machine.boxes().expect(QStringLiteral("Must Select a Stop Bit"), MsgIcon::Exclamation);
    click("cmdApplyCom");
    EXPECT_EQ(machine.readFile(kWinIni), before);

    const QStringList boxes = {"19200", "Even", "7", "1.5", "Hardware"};
    for (int i = 0; i < 5; ++i)
        pick(kBoxes[i], boxes[i]);
    apply();
    EXPECT_EQ(machine.readFile(kWinIni).toStdString(),
              QByteArray(before).replace("COM2:=9600,n,8,1,x", "COM2:=19200,e,7,1.5,p").toStdString());
    EXPECT_EQ(shownBoxes(), boxes) << "Apply leaves the boxes as they were";
}

// A typed port name keeps the last picked key; the prompt typed back is refused.
TEST_F(PortFrameTest, ApplyWritesTheLastPickedPortUntilThePromptIsBack)
{
    machine.writeFile(kWinIni, "[Ports]\r\nCOM3:=9600,n,8,1,x\r\n");
    pick("cmbCommPorts", "Com Port 3");
    type("cmbCommPorts", "Com Port 9");
    type("comBps", "57600");
    apply();
    EXPECT_EQ(machine.readFile(kWinIni).toStdString(), "[Ports]\r\nCOM3:=57600,n,8,1,x\r\n");
    type("cmbCommPorts", "Select a Comm Port");
    machine.boxes().expect(QStringLiteral("You Must Select a Comm Port!"), MsgIcon::Exclamation);
    click("cmdApplyCom");
    type("comBps", "1");
    pick("cmbCommPorts", "Com Port 3");
    EXPECT_EQ(shownBoxes(), QStringList({"57600", "None", "8", "1", "Xon / Xoff"}));
}

} // namespace
} // namespace velmora
