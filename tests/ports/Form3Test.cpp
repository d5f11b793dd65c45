#include "ports/Form3.h"
#include "support/WindowTest.h"

#include <QLineEdit>
#include <QTest>

namespace velmora {
namespace {

const QString kWinIni = QStringLiteral("WINDOWS/WIN.INI");
const QByteArray kPorts = "[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=19200,e,7,2,p\r\n";
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

// A typed value replaces its list, a cleared box keeps it, and a blank is not empty. A fixed
// box refuses an edit once and restores its text silently; Ok never copies it.
TEST_F(Form3Test, OpensWithTheMainWindowsValuesAndCopiesEveryBoxThatIsNotEmpty)
{
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(QStringList({shown("txtBPS"), shown("txtData"), shown("txtStop")}), kCom2);
    machine.boxes().expect(QStringLiteral("You Cant Change this here!!"), MsgIcon::Exclamation);
    QTest::keyClick(control<QLineEdit>("txtParity"), Qt::Key_E);
    EXPECT_EQ(shown("txtParity"), QStringLiteral("Not Customizeable"));
    type("txtBPS", "250000");
    type("txtData", "");
    type("txtStop", " ");
    click("Command1");
    EXPECT_EQ(machine.boxes().shown().size(), 1);
    EXPECT_EQ(loaded<Form3>(), nullptr);
    EXPECT_EQ(mainLists(), QStringList({"250000", "7", " "}));
    EXPECT_EQ(machine.readFile(kWinIni), kPorts) << "only the main window's Apply writes win.ini";
}

TEST_F(Form3Test, CancelOrTheCloseBoxCopiesNothing)
{
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "Cancel" : "close box");
        ASSERT_NE(open(), nullptr);
        type("txtBPS", "600");
        if (cancel)
            machine.boxes().expect(QStringLiteral("No changes were made!"));
        cancel ? click("Command2") : void(window->close()); // the close box says nothing
        EXPECT_EQ(loaded<Form3>(), nullptr);
        EXPECT_TRUE(mainWindow()->isEnabled());
        EXPECT_EQ(mainLists(), kCom2);
    }
}

} // namespace
} // namespace velmora
