#include "buffers/FifoSizes.h"
#include "buffers/Form5.h"
#include "buffers/PortBuffer.h"
#include "support/WindowTest.h"

namespace velmora {
namespace {

// A port's buffer: empty boxes are refused in order. The FIFO sizes: "4MB" and "8MB" store 4098
// and 8196; only those exact numbers read back as list texts. A pick writes both sizes under both
// keys, no pick nothing.
TEST(BufferChoicesTest, RefusalsAndSizes)
{
    const struct {
        const char *port, *irq, *buffer, *refusal;
    } cases[] = {{"2", "", "", "You Must Enter an Irq #"},
                 {"2", "3", "", "You Must Enter a Buffer!"},
                 {"", "3", "1024", "You Must Enter a Com Port!"},
                 {"2", "3", "1024", nullptr}};
    for (const auto& c : cases)
        EXPECT_EQ(portBufferRefusal(c.port, c.irq, c.buffer).value_or("none"),
                  c.refusal ? c.refusal : "none");
    const std::pair<const char*, qint32> sizes[] = {{"16k", 16},   {"64k", 64},    {"512k", 512},
                                                    {"1MB", 1024}, {"2MB", 2048},  {"4MB", 4098},
                                                    {"8MB", 8196}, {"16MB", 16384}};
    for (const auto& [listText, stored] : sizes) // the lists' items are in Form5's layout file
        EXPECT_TRUE(fifoSizeForListText(listText) == stored &&
                    fifoListTextForStoredText(QString::number(stored)) == listText)
            << listText;
    EXPECT_EQ(fifoSizeForListText("4mb"), 0);
    for (const char* stored : {"4096", "04098"})
        EXPECT_EQ(fifoListTextForStoredText(stored), std::nullopt) << stored;
    const QString serial = "System\\CurrentControlSet\\Services\\Serial\\";
    const QString adapter = "System\\CurrentControlSet\\Services\\Class\\Net\\0000\\";
    const QList<FifoWrite> writes = {
        {serial, "RxFIFO", 0}, {serial, "TxFIFO", 8196}, {adapter, "RxFIFO", 0}, {adapter, "TxFIFO", 8196}};
    EXPECT_EQ(fifoWrites("8MB", "32k"), writes);
    for (const auto& [send, receive] : {std::pair{"Select Size", "16k"}, {"16k", "Select Size"}})
        EXPECT_EQ(fifoWrites(send, receive), std::nullopt) << send << receive;
}

using Form5Test = testing::WindowTest;

// The checks, entries and sizes are the tables' above; this proves the window uses them: Set
// Buffer asks and writes the entries, Set Buffers refuses no pick, then stores the picked sizes,
// which the next opening reads back.
TEST_F(Form5Test, BothButtonsWriteWhatTheBoxesShow)
{
    const QString systemIni = "WINDOWS/SYSTEM.INI";
    const QByteArray before = "[386Enh]\r\nebios=*ebios\r\n\r\n[NonWindowsApp]\r\n";
    machine.writeFile(systemIni, before);
    ASSERT_NE(openFrom<Form5>("cmdCustomBufferSet"), nullptr);
    type("txtIRQ", "45"); // the boxes take one, one and four characters
    type("txtBuffer", "16384");
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes})
        machine.boxes.expect("Are You Sure You Want To Set This Buffer?", MsgIcon::Question,
                             MsgButtons::YesNo, answer);
    click("cmdSetBuffer");
    EXPECT_EQ(machine.readFile(systemIni), before);
    clickExpecting("cmdSetBuffer", "Buffer Was Set! You Should Restart to apply the Changes");
    EXPECT_EQ(machine.readFile(systemIni),
              "[386Enh]\r\nebios=*ebios\r\nCom2Irq=4\r\nCom2Buffer=1638\r\n\r\n[NonWindowsApp]\r\n");

    pick("cmbTx", "8MB");
    clickExpecting("cmdSetFIFOBuff", "You Must Select a Buffer Size!", MsgIcon::Exclamation);
    pick("cmbRx", "1MB");
    clickExpecting("cmdSetFIFOBuff", "Receive Buffer and Transmit Buffer have been set!");
    window->close();
    ASSERT_NE(openFrom<Form5>("cmdCustomBufferSet"), nullptr);
    EXPECT_EQ(shownTexts({"cmbTx", "cmbRx"}), QStringList({"8MB", "1MB"}));
}

} // namespace
} // namespace velmora
