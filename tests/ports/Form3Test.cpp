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
    QStringList typedBoxes() { return {shown("txtBPS"), shown("txtData"), shown("txtStop")}; }
    QStringList mainLists()
    {
        return {shown("comBps", mainWindow()), shown("comData", mainWindow()),
                shown("comStop", mainWindow())};
    }
};

TEST_F(Form3Test, OpensWithTheMainWindowsValuesAndHoldsItOff)
{
    expectOpensOnceAndCloses<Form3>("cmdCustomCommSet", true);
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(typedBoxes(), kCom2);
    EXPECT_EQ(shown("txtParity"), kFixed);
    EXPECT_EQ(shown("txtFlow"), kFixed);
}

TEST_F(Form3Test, TabGoesThroughTheTypedValuesAndButtonsBeforeTheFixedBoxes)
{
    ASSERT_NE(open(), nullptr);
    QStringList order;
    QWidget* start = control("txtBPS");
    QWidget* widget = start;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && window->isAncestorOf(widget))
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != start);
    EXPECT_EQ(order,
              QStringList({"txtBPS", "txtData", "txtStop", "Command1", "Command2", "txtParity", "txtFlow"}));
}

struct OkCase {
    const char* name;
    QStringList typed;    // into the three boxes
    QStringList expected; // the main window's three lists afterwards
};

class Form3OkTest : public Form3Test, public ::testing::WithParamInterface<OkCase> {};

TEST_P(Form3OkTest, CopiesEveryBoxThatIsNotEmpty)
{
    ASSERT_NE(open(), nullptr);
    type("txtBPS", GetParam().typed[0]);
    type("txtData", GetParam().typed[1]);
    type("txtStop", GetParam().typed[2]);
    click("Command1"); // no message box is expected

    EXPECT_EQ(loaded<Form3>(), nullptr);
    EXPECT_TRUE(mainWindow()->isEnabled());
    EXPECT_EQ(mainLists(), GetParam().expected);
    EXPECT_EQ(machine.readFile(kWinIni), kPorts) << "only the main window's Apply writes win.ini";
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, Form3OkTest,
    ::testing::Values(OkCase{"TypedValuesReplaceTheLists", {"250000", "9", "1.5"}, {"250000", "9", "1.5"}},
                      OkCase{"ClearedBoxKeepsItsList", {"600", "", "1"}, {"600", "7", "1"}},
                      OkCase{"ABlankIsNotEmpty", {" ", "8", " "}, {" ", "8", " "}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form3Test, EmptyListsGiveEmptyBoxesAndOkChangesNothing)
{
    pick("cmbCommPorts", "Com Port 4"); // no entry in win.ini: the lists are emptied
    ASSERT_EQ(mainLists(), QStringList({"", "", ""}));
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(typedBoxes(), QStringList({"", "", ""}));
    click("Command1");
    EXPECT_EQ(loaded<Form3>(), nullptr);
    EXPECT_EQ(mainLists(), QStringList({"", "", ""}));
}

TEST_F(Form3Test, OkThenApplyWritesTheTypedValues)
{
    ASSERT_NE(open(), nullptr);
    type("txtBPS", "250000");
    type("txtStop", "1.5");
    click("Command1");

    machine.boxes().expect(QStringLiteral("Comm Settings have Been Changed!"));
    click("cmdApplyCom");
    EXPECT_EQ(machine.readFile(kWinIni),
              QByteArray("[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=250000,e,7,1.5,p\r\n"));
}

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
        EXPECT_EQ(machine.readFile(kWinIni), kPorts);
    }
}

TEST_F(Form3Test, ReopeningStartsFromTheMainWindowsCurrentValues)
{
    ASSERT_NE(open(), nullptr);
    type("txtBPS", "600");
    window->close();
    pick("cmbCommPorts", "Com Port 1");
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(typedBoxes(), QStringList({"9600", "8", "1"}));
}

struct FixedBoxCase {
    const char* name;
    const char* box;
    void (*edit)(QLineEdit*);
};

class Form3FixedBoxTest : public Form3Test, public ::testing::WithParamInterface<FixedBoxCase> {};

TEST_P(Form3FixedBoxTest, RefusesTheEditOnceAndRestoresSilently)
{
    const FixedBoxCase& c = GetParam();
    ASSERT_NE(open(), nullptr);
    machine.boxes().expect(QStringLiteral("You Cant Change this here!!"), MsgIcon::Exclamation);
    c.edit(control<QLineEdit>(c.box));
    machine.boxes().verifyAllShown();
    EXPECT_EQ(machine.boxes().shown().size(), 1);
    EXPECT_EQ(shown(c.box), kFixed);

    click("Command1"); // the fixed text never reaches the main window
    EXPECT_EQ(mainLists(), kCom2);
}

INSTANTIATE_TEST_SUITE_P(Edits, Form3FixedBoxTest,
                         ::testing::Values(FixedBoxCase{"TypingIntoParity", "txtParity",
                                                        [](QLineEdit* e) { QTest::keyClick(e, Qt::Key_E); }},
                                           FixedBoxCase{"DeletingInFlow", "txtFlow",
                                                        [](QLineEdit* e) {
                                                            e->end(false);
                                                            QTest::keyClick(e, Qt::Key_Backspace);
                                                        }},
                                           FixedBoxCase{"CuttingFromFlow", "txtFlow",
                                                        [](QLineEdit* e) {
                                                            e->selectAll();
                                                            e->cut();
                                                        }}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
