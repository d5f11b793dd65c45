#include "buffers/Form5.h"
#include "platform/Registry.h"
#include "support/WindowTest.h"

namespace velmora {
namespace {

const QString kSystemIni = QStringLiteral("WINDOWS/SYSTEM.INI");

// The checks, entries and sizes are the PortBuffer and FifoSizes tables'; these prove the
// window uses them.
class Form5Test : public testing::WindowTest {
protected:
    void SetUp() override
    {
        mainWindow(); // its load writes to the registry: done before a test lays out its own
    }
    Form5* open() { return openFrom<Form5>("cmdCustomBufferSet"); }
};

TEST_F(Form5Test, SetBufferRefusesAnEmptyBoxAsksAndWritesTheEntries)
{
    const QByteArray before = "[386Enh]\r\nebios=*ebios\r\n\r\n[NonWindowsApp]\r\n";
    machine.writeFile(kSystemIni, before);
    ASSERT_NE(open(), nullptr);
    type("txtIRQ", "45"); // the boxes take one, one and four characters
    type("txtBuffer", "16384");
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes})
        machine.boxes().expect(QStringLiteral("Are You Sure You Want To Set This Buffer?"), MsgIcon::Question,
                               MsgButtons::YesNo, answer);
    click("cmdSetBuffer");
    EXPECT_EQ(machine.readFile(kSystemIni), before);
    machine.boxes().expect(QStringLiteral("Buffer Was Set! You Should Restart to apply the Changes"));
    click("cmdSetBuffer");
    EXPECT_EQ(machine.readFile(kSystemIni),
              "[386Enh]\r\nebios=*ebios\r\nCom2Irq=4\r\nCom2Buffer=1638\r\n\r\n[NonWindowsApp]\r\n");
}

TEST_F(Form5Test, SetBuffersRefusesNoPickThenStoresAndShowsThePickedSizes)
{
    ASSERT_NE(open(), nullptr);
    pick("cmbTx", "8MB");
    machine.boxes().expect(QStringLiteral("You Must Select a Buffer Size!"), MsgIcon::Exclamation);
    click("cmdSetFIFOBuff");
    pick("cmbRx", "1MB");
    machine.boxes().expect(QStringLiteral("Receive Buffer and Transmit Buffer have been set!"));
    click("cmdSetFIFOBuff");
    const QString serial = QStringLiteral("System\\CurrentControlSet\\Services\\Serial");
    EXPECT_EQ(machine.storedValue(serial, "TxFIFO"),
              (testing::TestMachine::Value{REG_DWORD, testing::dword(8196)}));

    window->close();
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(QStringList({shown("cmbTx"), shown("cmbRx")}), QStringList({"8MB", "1MB"}));
}

} // namespace
} // namespace velmora
