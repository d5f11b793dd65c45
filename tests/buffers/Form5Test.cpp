#include "buffers/Form5.h"
#include "support/WindowTest.h"

namespace velmora {
namespace {

using Form5Test = testing::WindowTest;

// The checks, entries and sizes are the PortBuffer and FifoSizes tables'; this proves the window
// uses them: Set Buffer asks and writes the entries, Set Buffers refuses no pick, then stores the
// picked sizes, which the next opening reads back.
TEST_F(Form5Test, BothButtonsWriteWhatTheBoxesShow)
{
    const QString systemIni = QStringLiteral("WINDOWS/SYSTEM.INI");
    const QByteArray before = "[386Enh]\r\nebios=*ebios\r\n\r\n[NonWindowsApp]\r\n";
    machine.writeFile(systemIni, before);
    ASSERT_NE(openFrom<Form5>("cmdCustomBufferSet"), nullptr);
    type("txtIRQ", "45"); // the boxes take one, one and four characters
    type("txtBuffer", "16384");
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes})
        machine.boxes().expect(QStringLiteral("Are You Sure You Want To Set This Buffer?"), MsgIcon::Question,
                               MsgButtons::YesNo, answer);
    click("cmdSetBuffer");
    EXPECT_EQ(machine.readFile(systemIni), before);
    clickExpecting("cmdSetBuffer", QStringLiteral("Buffer Was Set! You Should Restart to apply the Changes"));
    EXPECT_EQ(machine.readFile(systemIni),
              "[386Enh]\r\nebios=*ebios\r\nCom2Irq=4\r\nCom2Buffer=1638\r\n\r\n[NonWindowsApp]\r\n");

    pick("cmbTx", "8MB");
    clickExpecting("cmdSetFIFOBuff", QStringLiteral("You Must Select a Buffer Size!"), MsgIcon::Exclamation);
    pick("cmbRx", "1MB");
    clickExpecting("cmdSetFIFOBuff", QStringLiteral("Receive Buffer and Transmit Buffer have been set!"));
    window->close();
    ASSERT_NE(openFrom<Form5>("cmdCustomBufferSet"), nullptr);
    EXPECT_EQ(shownTexts({"cmbTx", "cmbRx"}), QStringList({"8MB", "1MB"}));
}

} // namespace
} // namespace velmora
