#include "ports/Form3.h"
#include "support/WindowTest.h"

#include <QLineEdit>
#include <QTest>

namespace velmora {
namespace {

using testing::kWinIni;
const QByteArray kPorts = "[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=19200,e,7,2,p\r\n";
const QStringList kCom2 = {"19200", "7", "2"};

using Form3Test = testing::WindowTest;

// Opens only with a port picked, with the main window's values. A fixed box refuses an edit once and restores
// its text silently. Ok copies every box that is not empty (a blank is not empty; a fixed box never), Cancel
// nothing; only the main window's Apply writes win.ini.
TEST_F(Form3Test, OkCopiesEveryBoxThatIsNotEmpty)
{
    machine.writeFile(kWinIni, kPorts);
    clickExpecting("cmdCustomCommSet", QStringLiteral("Please select a comm port from the Comm Settings Box"),
                   MsgIcon::Exclamation);
    EXPECT_EQ(loaded<Form3>(), nullptr);
    pick("cmbCommPorts", "Com Port 2");
    ASSERT_NE(openFrom<Form3>("cmdCustomCommSet"), nullptr);
    EXPECT_EQ(shownTexts({"txtBPS", "txtData", "txtStop"}), kCom2);
    machine.boxes().expect(QStringLiteral("You Cant Change this here!!"), MsgIcon::Exclamation);
    QTest::keyClick(control<QLineEdit>("txtParity"), Qt::Key_E);
    EXPECT_EQ(shown("txtParity"), QStringLiteral("Not Customizeable"));
    type("txtBPS", "250000");
    type("txtData", "");
    type("txtStop", " ");
    click("Command1");
    EXPECT_EQ(loaded<Form3>(), nullptr);
    EXPECT_EQ(shownTexts({"comBps", "comData", "comStop"}, mainWindow()), QStringList({"250000", "7", " "}));
    ASSERT_NE(openFrom<Form3>("cmdCustomCommSet"), nullptr);
    clickExpecting("Command2", QStringLiteral("No changes were made!"));
    EXPECT_EQ(loaded<Form3>(), nullptr);
    EXPECT_EQ(machine.readFile(kWinIni), kPorts);
}

} // namespace
} // namespace velmora
