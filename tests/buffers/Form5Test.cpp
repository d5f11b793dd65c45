#include "buffers/Form5.h"
#include "platform/Registry.h"
#include "support/WindowTest.h"

#include <QFile>

namespace velmora {
namespace {

using testing::dword;
using Value = testing::TestMachine::Value;

const QString kSystemIni = QStringLiteral("WINDOWS/SYSTEM.INI");
const QByteArray kSystemIniBefore = "[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\nebios=*ebios\r\n"
                                    "woafont=dosapp.fon\r\n\r\n[NonWindowsApp]\r\nCommandEnvSize=\r\n";
const QString kSerialKey = QStringLiteral("System\\CurrentControlSet\\Services\\Serial");
const QString kAdapterKey = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000");
const QString kSelectSize = QStringLiteral("Select Size");

QByteArray serialBlock(const QByteArray& values)
{
    return "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Serial]\r\n" + values + "\r\n";
}

class Form5Test : public testing::WindowTest {
protected:
    void SetUp() override
    {
        mainWindow(); // its load writes to the registry: done before a test lays out its own
    }
    Form5* open() { return openFrom<Form5>("cmdCustomBufferSet"); }
    void typeBoxes(const QString& port, const QString& irq, const QString& buffer)
    {
        type("Text1", port);
        type("txtIRQ", irq);
        type("txtBuffer", buffer);
    }
    void answerSure(MsgAnswer answer)
    {
        machine.boxes().expect(QStringLiteral("Are You Sure You Want To Set This Buffer?"), MsgIcon::Question,
                               MsgButtons::YesNo, answer);
    }
    void setBuffer()
    {
        answerSure(MsgAnswer::Yes);
        machine.boxes().expect(QStringLiteral("Buffer Was Set! You Should Restart to apply the Changes"));
        click("cmdSetBuffer");
    }
};

TEST_F(Form5Test, SetBufferWritesTheIrqThenTheBufferIntoTheSection)
{
    machine.writeFile(kSystemIni, kSystemIniBefore);
    ASSERT_NE(open(), nullptr);
    setBuffer();                    // the boxes as the window opens
    typeBoxes("12", "45", "16384"); // the boxes take one, one and four characters
    setBuffer();
    EXPECT_EQ(
        machine.readFile(kSystemIni),
        QByteArray("[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\nebios=*ebios\r\nwoafont=dosapp.fon\r\n"
                   "Com2Irq=3\r\nCom2Buffer=1024\r\nCom1Irq=4\r\nCom1Buffer=1638\r\n\r\n[NonWindowsApp]\r\n"
                   "CommandEnvSize=\r\n"));
}

TEST_F(Form5Test, AnEmptyBoxOrAnsweringNoWritesNothing)
{
    machine.writeFile(kSystemIni, kSystemIniBefore);
    ASSERT_NE(open(), nullptr);
    const struct {
        const char *port, *irq, *buffer, *refusal; // nullptr: asked, and answered No
    } cases[] = {{"", "", "", "You Must Enter a Com Port!"},
                 {"2", "3", "", "You Must Enter a Buffer!"},
                 {"2", "", "1024", "You Must Enter an Irq #"},
                 {"2", "3", "1024", nullptr}};
    for (const auto& c : cases) {
        typeBoxes(c.port, c.irq, c.buffer);
        if (c.refusal)
            machine.boxes().expect(QString::fromLatin1(c.refusal), MsgIcon::Exclamation);
        else
            answerSure(MsgAnswer::No);
        click("cmdSetBuffer");
    }
    EXPECT_EQ(machine.readFile(kSystemIni), kSystemIniBefore);
}

// Only the table's exact numbers show as sizes; opening the window writes nothing.
TEST_F(Form5Test, FifoSizesOutsideTheTableShowAsNoPick)
{
    for (const QByteArray& blocks :
         {QByteArray(), serialBlock("\"TxFIFO\"=dword:00001000\r\n\"RxFIFO\"=dword:0\r\n"),
          serialBlock("\"TxFIFO\"=hex:10,00,00,00\r\n\"RxFIFO\"=hex:\r\n")}) {
        if (blocks.isNull())
            QFile::remove(machine.root() + QStringLiteral("/system.reg"));
        else
            machine.writeRegistry(blocks);
        const QByteArray before = machine.registryBytes();
        ASSERT_NE(open(), nullptr);
        EXPECT_EQ(QStringList({shown("cmbTx"), shown("cmbRx")}), QStringList({kSelectSize, kSelectSize}));
        EXPECT_EQ(machine.registryBytes(), before);
        window->close();
    }
}

struct SetCase {
    const char* name;
    const char* tx; // picked from the list
    const char* rx;
    const char* typedTx; // typed over the pick, when set
    quint32 storedTx, storedRx;
    QString shownTx, shownRx; // at the next opening
};

class Form5FifoSetTest : public Form5Test, public ::testing::WithParamInterface<SetCase> {};

TEST_P(Form5FifoSetTest, StoresBothSizesUnderBothKeys)
{
    const SetCase& c = GetParam();
    machine.writeRegistry(serialBlock("\"Other\"=\"kept\"\r\n"));
    ASSERT_NE(open(), nullptr);
    pick("cmbTx", c.tx);
    pick("cmbRx", c.rx);
    if (c.typedTx)
        type("cmbTx", c.typedTx);
    machine.boxes().expect(QStringLiteral("Receive Buffer and Transmit Buffer have been set!"));
    click("cmdSetFIFOBuff");

    for (const QString& key : {kSerialKey, kAdapterKey}) {
        EXPECT_EQ(machine.storedValue(key, "TxFIFO"), (Value{REG_DWORD, dword(c.storedTx)}))
            << key.toStdString();
        EXPECT_EQ(machine.storedValue(key, "RxFIFO"), (Value{REG_DWORD, dword(c.storedRx)}))
            << key.toStdString();
    }
    EXPECT_TRUE(machine.registryBytes().contains("\"Other\"=\"kept\"\r\n"));

    window->close();
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(shown("cmbTx"), c.shownTx);
    EXPECT_EQ(shown("cmbRx"), c.shownRx);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Form5FifoSetTest,
    ::testing::Values(SetCase{"EightMegabytesStores8196", "8MB", "1MB", nullptr, 8196, 1024, "8MB", "1MB"},
                      SetCase{"TypedSendTextStoresZero", "64k", "512k", "32k", 0, 512, kSelectSize, "512k"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form5Test, SizesNotBothPickedAreRefusedOnceAndNothingIsWritten)
{
    machine.writeRegistry(serialBlock("\"TxFIFO\"=dword:0000000e\r\n"));
    const QByteArray before = machine.registryBytes();
    for (const auto& [tx, rx] : {std::pair{"", ""}, {"16k", ""}, {"", "16k"}}) { // "": left at "Select Size"
        SCOPED_TRACE(std::string(tx) + "/" + rx);
        ASSERT_NE(open(), nullptr);
        if (*tx)
            pick("cmbTx", tx);
        if (*rx)
            pick("cmbRx", rx);
        machine.boxes().expect(QStringLiteral("You Must Select a Buffer Size!"), MsgIcon::Exclamation);
        click("cmdSetFIFOBuff");
        machine.boxes().verifyAllShown();
        EXPECT_EQ(machine.registryBytes(), before);
        window->close();
    }
    EXPECT_EQ(machine.boxes().shown().size(), 3);
}

} // namespace
} // namespace velmora
