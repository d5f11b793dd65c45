#include "buffers/Form5.h"
#include "platform/Registry.h"
#include "support/WindowTest.h"

namespace velmora {
namespace {

using testing::dword;
using Value = testing::TestMachine::Value;

const QString kSystemIni = QStringLiteral("WINDOWS/SYSTEM.INI");
const QByteArray kSystemIniBefore = "[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\nebios=*ebios\r\n"
                                    "woafont=dosapp.fon\r\n\r\n[NonWindowsApp]\r\nCommandEnvSize=\r\n";
const QString kSerialKey = QStringLiteral("System\\CurrentControlSet\\Services\\Serial");
const QString kAdapterKey = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000");

// The checks, entries and sizes are the PortBuffer and FifoSizes tables'; these prove the
// window uses them.
class Form5Test : public testing::WindowTest {
protected:
    void SetUp() override
    {
        mainWindow(); // its load writes to the registry: done before a test lays out its own
    }
    Form5* open() { return openFrom<Form5>("cmdCustomBufferSet"); }
    void answerSure(MsgAnswer answer)
    {
        machine.boxes().expect(QStringLiteral("Are You Sure You Want To Set This Buffer?"), MsgIcon::Question,
                               MsgButtons::YesNo, answer);
    }
};

TEST_F(Form5Test, SetBufferRefusesAnEmptyBoxAsksAndWritesTheEntries)
{
    machine.writeFile(kSystemIni, kSystemIniBefore);
    ASSERT_NE(open(), nullptr);
    type("txtIRQ", "");
    machine.boxes().expect(QStringLiteral("You Must Enter an Irq #"), MsgIcon::Exclamation);
    click("cmdSetBuffer");
    type("txtIRQ", "45"); // the boxes take one, one and four characters
    type("txtBuffer", "16384");
    answerSure(MsgAnswer::No);
    click("cmdSetBuffer");
    EXPECT_EQ(machine.readFile(kSystemIni), kSystemIniBefore);
    answerSure(MsgAnswer::Yes);
    machine.boxes().expect(QStringLiteral("Buffer Was Set! You Should Restart to apply the Changes"));
    click("cmdSetBuffer");
    EXPECT_EQ(
        machine.readFile(kSystemIni),
        QByteArray("[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\nebios=*ebios\r\nwoafont=dosapp.fon\r\n"
                   "Com2Irq=4\r\nCom2Buffer=1638\r\n\r\n[NonWindowsApp]\r\nCommandEnvSize=\r\n"));
}

TEST_F(Form5Test, SetBuffersRefusesNoPickThenStoresAndShowsThePickedSizes)
{
    machine.writeRegistry("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Serial]\r\n"
                          "\"Other\"=\"kept\"\r\n\r\n");
    ASSERT_NE(open(), nullptr);
    pick("cmbTx", "8MB");
    machine.boxes().expect(QStringLiteral("You Must Select a Buffer Size!"), MsgIcon::Exclamation);
    click("cmdSetFIFOBuff");
    pick("cmbRx", "1MB");
    machine.boxes().expect(QStringLiteral("Receive Buffer and Transmit Buffer have been set!"));
    click("cmdSetFIFOBuff");
    for (const QString& key : {kSerialKey, kAdapterKey}) {
        EXPECT_EQ(machine.storedValue(key, "TxFIFO"), (Value{REG_DWORD, dword(8196)})) << key.toStdString();
        EXPECT_EQ(machine.storedValue(key, "RxFIFO"), (Value{REG_DWORD, dword(1024)})) << key.toStdString();
    }
    EXPECT_TRUE(machine.registryBytes().contains("\"Other\"=\"kept\"\r\n"));

    window->close();
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(QStringList({shown("cmbTx"), shown("cmbRx")}), QStringList({"8MB", "1MB"}));
}

} // namespace
} // namespace velmora
