#include "ports/Form3.h"
#include "ports/PortEntry.h"
#include "profile/SequentialInput.h"
#include "support/WindowTest.h"

namespace velmora {
namespace {

// An entry is the last item of its key, with fields from its own line; letters, list texts and
// stored entries map both ways.
TEST(PortEntryTest, ReadsAndMapsEntries)
{
    const struct {
        QByteArray file;
        const char* key;
        PortEntry expected; // as stored: letters
    } cases[] = {
        {"[Ports]\r\nCOM1:=9600,n\r\nCOM2:=4800,e,7,2,p\r\n", "COM1:", {"9600", "n", "", "", ""}},
        // A short entry's missing fields stay empty: the next line's text is never taken for them.
        {"[Ports]\r\nCOM3:=9600\r\n4800,e,7,2,p\r\n", "COM3:", {"9600", "", "", "", ""}},
        {"[Ports]\r\nCOM1:=9600\r\n[Other]\r\nCOM1:=2400,o,7,2,p\r\n", "COM1:", {"2400", "o", "7", "2", "p"}},
        {"[Ports]\r\ncom1:=9600,n,8,1,x\r\n", "COM1:", {}},
        {"[Ports]\r\nCOM4:=9600,n,8,1, \r\n", "COM4:", {"9600", "n", "8", "1", ""}},
        {"[Ports]\r\nCOM1=:9600\r\n", "COM1=", {}}, // a key that holds "=" never matches
    };
    for (const auto& c : cases) {
        SequentialInput input(c.file);
        int skipped = 0;
        EXPECT_EQ(readPortEntry(input, c.key, [&] { ++skipped; }), c.expected) << c.file.constData();
        EXPECT_GT(skipped, 0);
    }
    // Letters, list texts and stored entries map both ways.
    using Pairs = std::initializer_list<std::pair<const char*, const char*>>;
    for (const auto& [letter, text] :
         Pairs{{"n", "None"}, {"e", "Even"}, {"o", "Odd"}, {"m", "Mark"}, {"s", "Space"}})
        EXPECT_TRUE(parityTextForLetter(letter) == text && parityLetterForText(text) == letter) << text;
    for (const auto& [letter, text] : Pairs{{"p", "Hardware"}, {"x", "Xon / Xoff"}, {" ", "None"}})
        EXPECT_TRUE(flowTextForLetter(letter) == text && flowLetterForText(text) == letter) << text;
    EXPECT_TRUE(parityTextForLetter("N") == "N" && flowTextForLetter("q") == "None"); // unknown letters
    const std::pair<const char*, std::optional<QString>> ports[] = {
        {"Com Port 4", "COM4:"}, {"Com Port 5", std::nullopt}, {"com port 1", std::nullopt}};
    for (const auto& [name, key] : ports)
        EXPECT_EQ(portKeyForName(name), key) << name;
    // The list texts give the stored entry or the first refusal.
    const struct {
        PortEntry texts;
        const char* refusalOrStored;
    } fromTexts[] = {
        {{"19200", "Even", "7", "1.5", "Hardware"}, "19200,e,7,1.5,p"},
        {{"9600", "None", "8", "1", "None"}, "9600,n,8,1, "},
        {{"9600", "Parity?", "8", "1", "xon"}, "9600,,8,1,"},
        {{"", "", "", "", ""}, "Must Select a Bit Rate"},
        {{"9600", "", "8", "1", "None"}, "Must Select a Parity"},
        {{"9600", "None", "", "", "None"}, "Must Select a Data Bit"},
        {{"9600", "None", "8", "", "None"}, "Must Select a Stop Bit"},
        {{"9600", "None", "8", "1", ""}, "Must Select a Flow Control"},
    };
    for (const auto& c : fromTexts) {
        const Result<PortEntry> entry = portEntryFromListTexts(c.texts);
        EXPECT_EQ(entry ? joinPortEntry(*entry) : entry.reason(), c.refusalOrStored);
    }
    // A value as win.ini keeps it takes letters or list texts per field, through the same checks.
    for (const auto& [value, refusalOrStored] :
         Pairs{{"19200,e,7,1.5,p", "19200,e,7,1.5,p"},
               {"300,Odd,5,2,None", "300,o,5,2, "},
               {"9600,N,8,1,q", "9600,,8,1,"},
               {"9600,n,8,1,", "9600,n,8,1, "}, // None, as its blank reads back
               {"9600,n,8,1",
                "An entry has five fields, rate,parity,data bits,stop bits,flow (like 9600,n,8,1,x)"}}) {
        const Result<PortEntry> entry = portEntryFromStoredText(value);
        EXPECT_EQ(entry ? joinPortEntry(*entry) : entry.reason(), refusalOrStored) << value;
    }
}

const QStringList kBoxes = {"comBps", "comParity", "comData", "comStop", "comFlow"};

using PortSettingsTest = testing::WindowTest;

// Reading, checks and stored letters are the PortEntry table's; this proves a pick and Apply use them
// (each box for its own field), and that Apply leaves the boxes as they were.
// Only choosing an item, with the mouse or the arrow keys, is a pick that reads the entry; typed text
// never is, however the typing ends. A typed port name keeps the last picked key until the prompt
// typed back is refused.
TEST_F(PortSettingsTest, ApplyWritesOnlyTheLastPickedPortsLine)
{
    const QByteArray before =
        "[windows]\r\nload=\r\n\r\n[Ports]\r\nCOM1:=2400,e,7,2,p\r\nCOM2:=9600,n,8,1,x\r\n"
        "COM3:=9600,n,8,1,x\r\nLPT1:=\r\n\r\n[intl]\r\niCountry=1\r\n";
    machine.writeFile(testing::kWinIni, before);
    const auto press = [this](const char* list, Qt::Key key) {
        control(list)->setFocus();
        QTest::keyClick(control(list), key);
    };
    press("comBps", Qt::Key_Down); // an empty list gives its first item
    EXPECT_EQ(shown("comBps"), "110");
    EXPECT_FALSE(control("cmdApplyCom")->isEnabled());
    press("cmbCommPorts", Qt::Key_Down); // from the prompt: the first port
    EXPECT_EQ(shownTexts({"cmbCommPorts", "comBps"}), QStringList({"Com Port 1", "2400"}));
    EXPECT_TRUE(control("cmdApplyCom")->isEnabled());
    type("cmbCommPorts", "Com Port 2");
    press("cmbCommPorts", Qt::Key_Return);
    EXPECT_EQ(shownTexts({"cmbCommPorts", "comBps"}), QStringList({"Com Port 2", "2400"}));
    pick("cmbCommPorts", "Com Port 2");
    EXPECT_EQ(shownTexts(kBoxes), QStringList({"9600", "None", "8", "1", "Xon / Xoff"}));
    type("comBps", "19200");
    press("comBps", Qt::Key_Up); // on from the item shown, not from the one last chosen
    EXPECT_EQ(shown("comBps"), "9600");
    type("comStop", "");
    clickExpecting("cmdApplyCom", "Must Select a Stop Bit", MsgIcon::Exclamation);

    pick("cmbCommPorts", "Com Port 3");
    type("cmbCommPorts", "Com Port 9");
    type("comBps", "57600");
    clickExpecting("cmdApplyCom", "Comm Settings have Been Changed!");
    const QByteArray after = QByteArray(before).replace("COM3:=9600,n,8,1,x", "COM3:=57600,n,8,1,x");
    EXPECT_EQ(machine.readFile(testing::kWinIni).toStdString(), after.toStdString());
    EXPECT_EQ(shownTexts(kBoxes), QStringList({"57600", "None", "8", "1", "Xon / Xoff"}))
        << "left as they were";
    type("cmbCommPorts", "Select a Comm Port");
    clickExpecting("cmdApplyCom", "You Must Select a Comm Port!", MsgIcon::Exclamation);
}

const QByteArray kPorts = "[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=19200,e,7,2,p\r\n";

// Opens only with a port picked, with the main window's values. A fixed box refuses an edit once and restores
// its text silently. Ok copies every box that is not empty (a blank is not empty; a fixed box never), Cancel
// nothing; only the main window's Apply writes win.ini.
TEST_F(PortSettingsTest, OkCopiesEveryBoxThatIsNotEmpty)
{
    machine.writeFile(testing::kWinIni, kPorts);
    clickExpecting("cmdCustomCommSet", "Please select a comm port from the Comm Settings Box",
                   MsgIcon::Exclamation);
    EXPECT_EQ(loaded<Form3>(), nullptr);
    pick("cmbCommPorts", "Com Port 2");
    ASSERT_NE(openFrom<Form3>("cmdCustomCommSet"), nullptr);
    EXPECT_EQ(shownTexts({"txtBPS", "txtData", "txtStop"}), QStringList({"19200", "7", "2"}));
    machine.boxes.expect("You Cant Change this here!!", MsgIcon::Exclamation);
    QTest::keyClick(control<QLineEdit>("txtParity"), Qt::Key_E);
    EXPECT_EQ(shown("txtParity"), "Not Customizeable");
    type("txtBPS", "250000");
    type("txtData", "");
    type("txtStop", " ");
    click("Command1");
    EXPECT_EQ(loaded<Form3>(), nullptr);
    EXPECT_EQ(shownTexts({"comBps", "comData", "comStop"}, mainWindow()), QStringList({"250000", "7", " "}));
    ASSERT_NE(openFrom<Form3>("cmdCustomCommSet"), nullptr);
    clickExpecting("Command2", "No changes were made!");
    EXPECT_EQ(loaded<Form3>(), nullptr);
    EXPECT_EQ(machine.readFile(testing::kWinIni), kPorts);
}

} // namespace
} // namespace velmora
