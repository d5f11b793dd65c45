#include "support/WindowTest.h"

namespace velmora {
namespace {

const QString kWinIni = QStringLiteral("WINDOWS/WIN.INI");
const QString kChanged = QStringLiteral("Comm Settings have Been Changed!");
const QStringList kNoEntry = {"", "", "", "", "None"};
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

struct ReadCase {
    const char* name;
    QByteArray file; // null: no win.ini
    const char* port;
    QStringList expected;
};

class PortReadingTest : public PortFrameTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(PortReadingTest, PickShowsTheEntry)
{
    const ReadCase& c = GetParam();
    if (!c.file.isNull())
        machine.writeFile(kWinIni, c.file);
    pick("cmbCommPorts", c.port);
    EXPECT_EQ(shownBoxes(), c.expected);
    EXPECT_TRUE(control("cmdApplyCom")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, PortReadingTest,
    ::testing::Values(ReadCase{"UsualLine",
                               "[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=9600,n,8,1,x\r\n",
                               "Com Port 2",
                               {"9600", "None", "8", "1", "Xon / Xoff"}},
                      ReadCase{"EvenHardware",
                               "[Ports]\r\nCOM3:=19200,e,7,1.5,p\r\n",
                               "Com Port 3",
                               {"19200", "Even", "7", "1.5", "Hardware"}},
                      ReadCase{"UnknownParityShownAsItStands",
                               "[Ports]\r\nCOM1:=9600,N,8,1\r\n",
                               "Com Port 1",
                               {"9600", "N", "8", "1", "None"}},
                      ReadCase{"FieldsComeOnlyFromTheirOwnLine",
                               "[Ports]\r\nCOM1:=9600,n\r\nCOM2:=4800,e,7,2,p\r\n",
                               "Com Port 1",
                               {"9600", "None", "", "", "None"}},
                      ReadCase{"OtherSectionLastWins",
                               "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n[Other]\r\nCOM1:=2400,o,7,2,p\r\n",
                               "Com Port 1",
                               {"2400", "Odd", "7", "2", "Hardware"}},
                      ReadCase{"LowerCaseKeyNotFound", "[Ports]\r\ncom1:=9600,n,8,1,x\r\n", "Com Port 1",
                               kNoEntry},
                      ReadCase{"BlankFlowReadsNone",
                               "[Ports]\r\nCOM4:=9600,n,8,1, \r\n",
                               "Com Port 4",
                               {"9600", "None", "8", "1", "None"}},
                      ReadCase{"Space",
                               "[Ports]\r\nCOM1:=1200,m,5,2,p\r\nCOM2:=300,s,6,1,x\r\n",
                               "Com Port 2",
                               {"300", "Space", "6", "1", "Xon / Xoff"}},
                      ReadCase{"MissingFile", QByteArray(), "Com Port 1", kNoEntry}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortFrameTest, TypingIntoThePortListIsNoPick)
{
    type("cmbCommPorts", "Com Port 1");
    EXPECT_FALSE(control("cmdApplyCom")->isEnabled());
}

struct ApplyCase {
    const char* name;
    QStringList boxes;   // rate, parity, data, stop, flow
    const char* refusal; // nullptr: written
    QByteArray written;  // the COM2: line's value when written
    bool picked = false; // from the lists rather than typed
};

class PortApplyTest : public PortFrameTest, public ::testing::WithParamInterface<ApplyCase> {};

TEST_P(PortApplyTest, ValidatesAndWrites)
{
    const ApplyCase& c = GetParam();
    const QByteArray before =
        "[windows]\r\nload=\r\n\r\n[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=9600,n,8,1,x\r\n"
        "LPT1:=\r\n\r\n[intl]\r\niCountry=1\r\n";
    machine.writeFile(kWinIni, before);
    pick("cmbCommPorts", "Com Port 2");
    for (int i = 0; i < 5; ++i) {
        if (c.picked)
            pick(kBoxes[i], c.boxes[i]);
        else
            type(kBoxes[i], c.boxes[i]);
    }

    QByteArray after = before;
    if (c.refusal) {
        machine.boxes().expect(QString::fromLatin1(c.refusal), MsgIcon::Exclamation);
        click("cmdApplyCom");
    } else {
        after.replace("COM2:=9600,n,8,1,x", "COM2:=" + c.written);
        apply();
    }
    EXPECT_EQ(machine.readFile(kWinIni).toStdString(), after.toStdString());
    EXPECT_EQ(shownBoxes(), c.boxes) << "Apply leaves the boxes as they were";
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, PortApplyTest,
    ::testing::Values(
        ApplyCase{
            "AllFromLists", {"19200", "Even", "7", "1.5", "Hardware"}, nullptr, "19200,e,7,1.5,p", true},
        ApplyCase{"FlowNoneIsOneBlank", {"9600", "None", "8", "1", "None"}, nullptr, "9600,n,8,1, "},
        ApplyCase{"UnknownParityEmpty", {"9600", "Parity?", "8", "1", "Xon / Xoff"}, nullptr, "9600,,8,1,x"},
        ApplyCase{"UnknownFlowEmpty", {"9600", "Mark", "8", "1", "xon"}, nullptr, "9600,m,8,1,"},
        ApplyCase{"NoRate", {"", "None", "8", "1", "None"}, "Must Select a Bit Rate", {}},
        ApplyCase{"NoParity", {"9600", "", "8", "1", "None"}, "Must Select a Parity", {}},
        ApplyCase{
            "NoDataBitsChecksBeforeStopBits", {"9600", "None", "", "", "None"}, "Must Select a Data Bit", {}},
        ApplyCase{"NoStopBits", {"9600", "None", "8", "", "None"}, "Must Select a Stop Bit", {}},
        ApplyCase{"NoFlow", {"9600", "None", "8", "1", ""}, "Must Select a Flow Control", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortFrameTest, ApplyWithThePromptBackIsRefused)
{
    machine.writeFile(kWinIni, "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n");
    pick("cmbCommPorts", "Com Port 1");
    type("cmbCommPorts", "Select a Comm Port");
    machine.boxes().expect(QStringLiteral("You Must Select a Comm Port!"), MsgIcon::Exclamation);
    click("cmdApplyCom");
    EXPECT_EQ(machine.readFile(kWinIni), "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n");
}

TEST_F(PortFrameTest, TypedPortNameKeepsTheLastPickedKeyAndPickingAgainRereads)
{
    machine.writeFile(kWinIni, "[Ports]\r\nCOM3:=9600,n,8,1,x\r\n");
    pick("cmbCommPorts", "Com Port 3");
    type("cmbCommPorts", "Com Port 9");
    type("comBps", "57600");
    apply();
    EXPECT_EQ(machine.readFile(kWinIni).toStdString(), "[Ports]\r\nCOM3:=57600,n,8,1,x\r\n");
    type("comBps", "1");
    pick("cmbCommPorts", "Com Port 3");
    EXPECT_EQ(shownBoxes(), QStringList({"57600", "None", "8", "1", "Xon / Xoff"}));
}

} // namespace
} // namespace velmora
