#include "ports/Form3.h"
#include "support/WindowTest.h"

#include <QLineEdit>
#include <QTest>

namespace velmora {
namespace {

const QString kWinIni = QStringLiteral("WINDOWS/WIN.INI");
const QByteArray kPorts = "[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=19200,e,7,2,p\r\n";
const QString kFixed = QStringLiteral("Not Customizeable");
const QStringList kCom2 = {"19200", "7", "2"};

// The main window shown with COM2 picked, so "Com Settings" may open Form3.
class Form3Test : public testing::WindowTest {
protected:
    void SetUp() override
    {
        machine.writeFile(kWinIni, kPorts);
        pick("cmbCommPorts", "Com Port 2");
    }
    Form3* open() { return openFrom<Form3>("cmdCustomCommSet"); }
    QStringList mainLists()
    {
        return {shown("comBps", mainWindow()), shown("comData", mainWindow()),
                shown("comStop", mainWindow())};
    }
};

struct OkCase {
    const char* name;
    QStringList typed;    // into the three boxes
    QStringList expected; // the main window's three lists afterwards
};

class Form3OkTest : public Form3Test, public ::testing::WithParamInterface<OkCase> {};

TEST_P(Form3OkTest, OpensWithTheMainWindowsValuesAndCopiesEveryBoxThatIsNotEmpty)
{
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(QStringList({shown("txtBPS"), shown("txtData"), shown("txtStop")}), kCom2);
    EXPECT_EQ(shown("txtParity"), kFixed);
    type("txtBPS", GetParam().typed[0]);
    type("txtData", GetParam().typed[1]);
    type("txtStop", GetParam().typed[2]);
    click("Command1"); // no message box is expected

    EXPECT_EQ(loaded<Form3>(), nullptr);
    EXPECT_EQ(mainLists(), GetParam().expected);
    EXPECT_EQ(machine.readFile(kWinIni), kPorts) << "only the main window's Apply writes win.ini";
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, Form3OkTest,
    ::testing::Values(OkCase{"TypedValuesReplaceTheLists", {"250000", "9", "1.5"}, {"250000", "9", "1.5"}},
                      OkCase{"ClearedBoxKeepsItsList", {"600", "", "1"}, {"600", "7", "1"}},
                      OkCase{"ABlankIsNotEmpty", {" ", "8", " "}, {" ", "8", " "}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form3Test, CancelOrTheCloseBoxCopiesNothing)
{
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "Cancel" : "close box");
        ASSERT_NE(open(), nullptr);
        type("txtBPS", "600");
        if (cancel) {
            machine.boxes().expect(QStringLiteral("No changes were made!"));
            click("Command2");
        } else {
            window->close(); // says nothing
        }
        EXPECT_EQ(loaded<Form3>(), nullptr);
        EXPECT_TRUE(mainWindow()->isEnabled());
        EXPECT_EQ(mainLists(), kCom2);
    }
}

// Each fixed box refuses an edit once and restores its text silently; Ok never copies it.
TEST_F(Form3Test, FixedBoxesRefuseEdits)
{
    ASSERT_NE(open(), nullptr);
    const std::pair<const char*, void (*)(QLineEdit*)> edits[] = {
        {"txtParity", [](QLineEdit* e) { QTest::keyClick(e, Qt::Key_E); }},
        {"txtFlow",
         [](QLineEdit* e) {
             e->selectAll();
             e->cut();
         }},
    };
    for (const auto& [box, edit] : edits) {
        machine.boxes().expect(QStringLiteral("You Cant Change this here!!"), MsgIcon::Exclamation);
        edit(control<QLineEdit>(box));
        machine.boxes().verifyAllShown();
        EXPECT_EQ(shown(box), kFixed);
    }
    EXPECT_EQ(machine.boxes().shown().size(), 2);
    click("Command1");
    EXPECT_EQ(mainLists(), kCom2);
}

} // namespace
} // namespace velmora
