#include "app/Form1.h"
#include "ports/Form3.h"
#include "support/TestMachine.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::TestMachine;

const QString kWinIni = QStringLiteral("WINDOWS/WIN.INI");
const QByteArray kPorts = "[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=19200,e,7,2,p\r\n";
const QString kFixed = QStringLiteral("Not Customizeable");

// The main window loaded and shown with COM2 picked, so "Com Settings" may open Form3.
class Form3Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine.writeFile(kWinIni, kPorts);
        form1 = qobject_cast<Form1*>(machine.app().windows().load(QStringLiteral("Form1")));
        ASSERT_NE(form1, nullptr);
        form1->show();
        pickPort(QStringLiteral("Com Port 2"));
    }

    void pickPort(const QString& name)
    {
        auto* ports = form1->findChild<QComboBox*>(QStringLiteral("cmbCommPorts"));
        const int index = ports->findText(name);
        ASSERT_GE(index, 0);
        ports->setCurrentIndex(index);
        emit ports->activated(index);
    }

    Form3* open()
    {
        QTest::mouseClick(form1->findChild<QPushButton*>(QStringLiteral("cmdCustomCommSet")), Qt::LeftButton);
        return machine.app().windows().find<Form3>();
    }
    Form3* form3() { return machine.app().windows().find<Form3>(); }
    QLineEdit* box(const char* name) { return form3()->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    void click(const char* name)
    {
        QTest::mouseClick(form3()->findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
    }
    // Replaces a box's text the way the user does: select everything, delete, type.
    void retype(const char* name, const QString& text)
    {
        QLineEdit* edit = box(name);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    QStringList mainLists()
    {
        return {form1->comBps()->currentText(), form1->comData()->currentText(), form1->comStop()->currentText()};
    }

    TestMachine machine;
    Form1* form1 = nullptr;
};

TEST_F(Form3Test, OpensWithTheMainWindowsValuesAndHoldsItOff)
{
    ASSERT_NE(open(), nullptr);
    EXPECT_TRUE(form3()->isVisible());
    EXPECT_FALSE(form1->isEnabled());
    EXPECT_EQ(box("txtBPS")->text(), QStringLiteral("19200"));
    EXPECT_EQ(box("txtData")->text(), QStringLiteral("7"));
    EXPECT_EQ(box("txtStop")->text(), QStringLiteral("2"));
    EXPECT_EQ(box("txtParity")->text(), kFixed);
    EXPECT_EQ(box("txtFlow")->text(), kFixed);
}

TEST_F(Form3Test, TabGoesThroughTheTypedValuesAndButtonsBeforeTheFixedBoxes)
{
    ASSERT_NE(open(), nullptr);
    QStringList order;
    QWidget* start = box("txtBPS");
    QWidget* widget = start;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && form3()->isAncestorOf(widget))
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != start);
    EXPECT_EQ(order, QStringList({"txtBPS", "txtData", "txtStop", "Command1", "Command2", "txtParity", "txtFlow"}));
}

struct OkCase {
    const char* name;
    QString bps, data, stop;       // typed into the three boxes
    QStringList expected;          // the main window's three lists afterwards
};

class Form3OkTest : public Form3Test, public ::testing::WithParamInterface<OkCase> {};

TEST_P(Form3OkTest, CopiesEveryBoxThatIsNotEmpty)
{
    const OkCase& c = GetParam();
    ASSERT_NE(open(), nullptr);
    retype("txtBPS", c.bps);
    retype("txtData", c.data);
    retype("txtStop", c.stop);
    click("Command1"); // no message box is expected

    EXPECT_EQ(form3(), nullptr);
    EXPECT_TRUE(form1->isEnabled());
    EXPECT_EQ(mainLists(), c.expected);
    EXPECT_EQ(machine.readFile(kWinIni), kPorts) << "only the main window's Apply writes win.ini";
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, Form3OkTest,
    ::testing::Values(OkCase{"TypedValuesReplaceTheLists", "250000", "9", "1.5", {"250000", "9", "1.5"}},
                      OkCase{"ClearedBoxKeepsItsList", "600", "", "1", {"600", "7", "1"}},
                      OkCase{"ABlankIsNotEmpty", " ", "8", " ", {" ", "8", " "}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form3Test, EmptyListsGiveEmptyBoxesAndOkChangesNothing)
{
    pickPort(QStringLiteral("Com Port 4")); // no entry in win.ini: the lists are emptied
    ASSERT_EQ(mainLists(), QStringList({"", "", ""}));
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(box("txtBPS")->text(), QString());
    EXPECT_EQ(box("txtData")->text(), QString());
    EXPECT_EQ(box("txtStop")->text(), QString());
    click("Command1");
    EXPECT_EQ(form3(), nullptr);
    EXPECT_EQ(mainLists(), QStringList({"", "", ""}));
}

TEST_F(Form3Test, OkThenApplyWritesTheTypedValues)
{
    ASSERT_NE(open(), nullptr);
    retype("txtBPS", QStringLiteral("250000"));
    retype("txtStop", QStringLiteral("1.5"));
    click("Command1");

    machine.boxes().expect(QStringLiteral("Comm Settings have Been Changed!"));
    QTest::mouseClick(form1->findChild<QPushButton*>(QStringLiteral("cmdApplyCom")), Qt::LeftButton);
    EXPECT_EQ(machine.readFile(kWinIni), QByteArray("[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=250000,e,7,1.5,p\r\n"));
}

TEST_F(Form3Test, CancelSaysSoAndChangesNothing)
{
    ASSERT_NE(open(), nullptr);
    retype("txtBPS", QStringLiteral("600"));
    machine.boxes().expect(QStringLiteral("No changes were made!"));
    click("Command2");

    EXPECT_EQ(form3(), nullptr);
    EXPECT_TRUE(form1->isEnabled());
    EXPECT_EQ(mainLists(), QStringList({"19200", "7", "2"}));
    EXPECT_EQ(machine.readFile(kWinIni), kPorts);
}

TEST_F(Form3Test, CloseBoxCopiesNothingAndSaysNothing)
{
    ASSERT_NE(open(), nullptr);
    retype("txtData", QStringLiteral("5"));
    form3()->close();

    EXPECT_EQ(form3(), nullptr);
    EXPECT_TRUE(form1->isEnabled());
    EXPECT_EQ(mainLists(), QStringList({"19200", "7", "2"}));
    EXPECT_EQ(machine.readFile(kWinIni), kPorts);
}

TEST_F(Form3Test, ReopeningStartsFromTheMainWindowsCurrentValues)
{
    ASSERT_NE(open(), nullptr);
    retype("txtBPS", QStringLiteral("600"));
    form3()->close();
    pickPort(QStringLiteral("Com Port 1"));

    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(box("txtBPS")->text(), QStringLiteral("9600"));
    EXPECT_EQ(box("txtData")->text(), QStringLiteral("8"));
    EXPECT_EQ(box("txtStop")->text(), QStringLiteral("1"));
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
    c.edit(box(c.box));
    machine.boxes().verifyAllShown();
    EXPECT_EQ(machine.boxes().shown().size(), 1);
    EXPECT_EQ(box(c.box)->text(), kFixed);

    click("Command1"); // the fixed text never reaches the main window
    EXPECT_EQ(mainLists(), QStringList({"19200", "7", "2"}));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, Form3FixedBoxTest,
    ::testing::Values(
        FixedBoxCase{"TypingIntoParity", "txtParity", [](QLineEdit* e) { QTest::keyClick(e, Qt::Key_E); }},
        FixedBoxCase{"DeletingInFlow", "txtFlow",
                     [](QLineEdit* e) {
                         e->end(false);
                         QTest::keyClick(e, Qt::Key_Backspace);
                     }},
        FixedBoxCase{"ReplacingAllOfParity", "txtParity",
                     [](QLineEdit* e) {
                         e->selectAll();
                         QTest::keyClick(e, Qt::Key_X);
                     }},
        FixedBoxCase{"CuttingFromFlow", "txtFlow",
                     [](QLineEdit* e) {
                         e->selectAll();
                         e->cut();
                     }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
