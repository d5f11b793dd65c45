#include "buffers/Form5.h"
#include "buffers/FifoSizes.h"
#include "platform/Registry.h"
#include "support/WindowTest.h"

#include <QDir>
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
const QString kIniFailure = QStringLiteral("The change could not be saved.\nc:\\windows\\system.ini: ");

QByteArray serialBlock(const QByteArray& values)
{
    return "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Serial]\r\n" + values + "\r\n";
}

class Form5Test : public testing::WindowTest {
protected:
    void SetUp() override
    {
        ASSERT_NE(machine.context().registryValues, nullptr) << "the registry is not wired into the program";
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

TEST_F(Form5Test, HoldsTheMainWindowOffWhileOpen)
{
    expectOpensOnceAndCloses<Form5>("cmdCustomBufferSet", true);
}

// --- Com port buffer -------------------------------------------------------------------------

TEST_F(Form5Test, SetBufferWritesTheIrqThenTheBufferIntoTheSection)
{
    machine.writeFile(kSystemIni, kSystemIniBefore);
    ASSERT_NE(open(), nullptr);
    setBuffer();
    EXPECT_EQ(
        machine.readFile(kSystemIni),
        QByteArray("[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\nebios=*ebios\r\nwoafont=dosapp.fon\r\n"
                   "Com2Irq=3\r\nCom2Buffer=1024\r\n\r\n[NonWindowsApp]\r\nCommandEnvSize=\r\n"));
}

TEST_F(Form5Test, SetBufferReplacesExistingEntriesInPlace)
{
    machine.writeFile(kSystemIni, "[386ENH]\r\nCOM4Buffer=512\r\nkeyboard=*vkd\r\ncom4irq=5\r\n");
    ASSERT_NE(open(), nullptr);
    typeBoxes("4", "3", "2048");
    setBuffer();
    EXPECT_EQ(machine.readFile(kSystemIni),
              QByteArray("[386ENH]\r\nCOM4Buffer=2048\r\nkeyboard=*vkd\r\ncom4irq=3\r\n"));
}

TEST_F(Form5Test, BoxesTakeOneOneAndFourCharacters)
{
    ASSERT_NE(open(), nullptr);
    typeBoxes("12", "45", "16384");
    setBuffer();
    // No system.ini yet: the file is created, named as the program spells it.
    EXPECT_EQ(machine.readFile(QStringLiteral("WINDOWS/system.ini")),
              QByteArray("[386Enh]\r\nCom1Irq=4\r\nCom1Buffer=1638\r\n"));
}

TEST_F(Form5Test, AnsweringNoWritesNothing)
{
    machine.writeFile(kSystemIni, kSystemIniBefore);
    ASSERT_NE(open(), nullptr);
    answerSure(MsgAnswer::No);
    click("cmdSetBuffer");
    EXPECT_EQ(machine.readFile(kSystemIni), kSystemIniBefore);
}

struct EmptyFieldCase {
    const char* name;
    QString port, irq, buffer;
    QString message;
};

class Form5EmptyFieldTest : public Form5Test, public ::testing::WithParamInterface<EmptyFieldCase> {};

TEST_P(Form5EmptyFieldTest, FirstEmptyFieldIsRefusedAndNothingIsWritten)
{
    const EmptyFieldCase& c = GetParam();
    machine.writeFile(kSystemIni, kSystemIniBefore);
    ASSERT_NE(open(), nullptr);
    typeBoxes(c.port, c.irq, c.buffer);
    machine.boxes().expect(c.message, MsgIcon::Exclamation);
    click("cmdSetBuffer");
    EXPECT_EQ(machine.readFile(kSystemIni), kSystemIniBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, Form5EmptyFieldTest,
    ::testing::Values(EmptyFieldCase{"AllEmptyAsksForThePort", "", "", "", "You Must Enter a Com Port!"},
                      EmptyFieldCase{"PortOnly", "2", "", "", "You Must Enter an Irq #"},
                      EmptyFieldCase{"NoBuffer", "2", "3", "", "You Must Enter a Buffer!"},
                      EmptyFieldCase{"BufferWithoutIrq", "2", "", "1024", "You Must Enter an Irq #"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form5Test, UnwritableSystemIniIsReportedInsteadOfSuccess)
{
    ASSERT_TRUE(QDir().mkpath(machine.hostFile(kSystemIni))); // a folder where the file belongs
    ASSERT_NE(open(), nullptr);
    answerSure(MsgAnswer::Yes);
    machine.boxes().expectStartingWith(kIniFailure, MsgIcon::Critical);
    click("cmdSetBuffer");
    EXPECT_EQ(machine.boxes().shown().size(), 2) << "one failure, and nothing after it";
}

TEST_F(Form5Test, PortTextThatWouldCorruptTheFileIsReportedAndNothingIsWritten)
{
    machine.writeFile(kSystemIni, kSystemIniBefore);
    ASSERT_NE(open(), nullptr);
    type("Text1", "=");
    answerSure(MsgAnswer::Yes);
    machine.boxes().expectStartingWith(kIniFailure, MsgIcon::Critical);
    click("cmdSetBuffer");
    EXPECT_EQ(machine.boxes().shown().size(), 2);
    EXPECT_EQ(machine.readFile(kSystemIni), kSystemIniBefore);
}

// --- FIFO sizes ------------------------------------------------------------------------------

struct LoadCase {
    const char* name;
    QByteArray blocks; // null: no registry file at all
    QString tx, rx;
};

class Form5FifoLoadTest : public Form5Test, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(Form5FifoLoadTest, ShowsTheStoredSizes)
{
    const LoadCase& c = GetParam();
    if (c.blocks.isNull())
        QFile::remove(machine.root() + QStringLiteral("/system.reg"));
    else
        machine.writeRegistry(c.blocks);
    const QByteArray before = machine.registryBytes();
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(shown("cmbTx"), c.tx);
    EXPECT_EQ(shown("cmbRx"), c.rx);
    EXPECT_EQ(machine.registryBytes(), before) << "opening the window writes nothing";
    EXPECT_EQ(QFile::exists(machine.root() + QStringLiteral("/system.reg")), !c.blocks.isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Stored, Form5FifoLoadTest,
    ::testing::Values(
        LoadCase{"NoRegistry", QByteArray(), kSelectSize, kSelectSize},
        LoadCase{"NoSerialKey", "[HKEY_LOCAL_MACHINE\\System]\r\n\r\n", kSelectSize, kSelectSize},
        LoadCase{"OddSizesOfTheTable",
                 serialBlock("\"TxFIFO\"=dword:00001002\r\n\"RxFIFO\"=dword:00002004\r\n"), "4MB", "8MB"},
        LoadCase{"PowersOfTwoAreNotTheTablesSizes",
                 serialBlock("\"TxFIFO\"=dword:00001000\r\n\"RxFIFO\"=dword:00002000\r\n"), kSelectSize,
                 kSelectSize},
        LoadCase{"SmallestAndLargest",
                 serialBlock("\"TxFIFO\"=dword:00000010\r\n\"RxFIFO\"=dword:00004000\r\n"), "16k", "16MB"},
        LoadCase{"NumberNotInTheTable",
                 serialBlock("\"TxFIFO\"=dword:0000000e\r\n\"RxFIFO\"=dword:00000000\r\n"), kSelectSize,
                 kSelectSize},
        LoadCase{"BytesAreNotANumber", serialBlock("\"TxFIFO\"=hex:10,00,00,00\r\n\"RxFIFO\"=hex:\r\n"),
                 kSelectSize, kSelectSize},
        LoadCase{"DamagedFile", "[HKEY_LOCAL_MACHINE\\System\r\n\"TxFIFO\"=dword:zz\r\n", kSelectSize,
                 kSelectSize}),
    [](const auto& info) { return std::string(info.param.name); });

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
    ::testing::Values(SetCase{"FourMegabytesBoth", "4MB", "4MB", nullptr, 4098, 4098, "4MB", "4MB"},
                      SetCase{"EightMegabytesStores8196", "8MB", "1MB", nullptr, 8196, 1024, "8MB", "1MB"},
                      SetCase{"SmallestSendLargestReceive", "16k", "16MB", nullptr, 16, 16384, "16k", "16MB"},
                      SetCase{"TypedSendTextStoresZero", "64k", "512k", "32k", 0, 512, kSelectSize, "512k"},
                      SetCase{"TypedNumberIsNotAListText", "2MB", "64k", "2048", 0, 64, kSelectSize, "64k"}),
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

TEST_F(Form5Test, RegistryThatCannotBeWrittenStopsAtTheFirstValue)
{
    machine.damageRegistry();
    const QByteArray damaged = machine.registryBytes();
    ASSERT_NE(open(), nullptr);
    pick("cmbTx", "1MB");
    pick("cmbRx", "2MB");
    machine.boxes().expectStartingWith(
        QStringLiteral("The change could not be saved.\nHKEY_LOCAL_MACHINE\\") + kSerialKey +
            QStringLiteral("\\RxFIFO: "),
        MsgIcon::Critical);
    click("cmdSetFIFOBuff");
    EXPECT_EQ(machine.boxes().shown().size(), 1) << "the three later values are not attempted";
    EXPECT_EQ(machine.registryBytes(), damaged) << "a damaged registry is never overwritten";
}

// Only the exact texts of the table count, both ways.
TEST(FifoSizes, NearMissesAreNotSizes)
{
    for (const char* typed : {"", "Select Size", "4mb", " 4MB", "4096", "16"})
        EXPECT_EQ(fifoSizeForListText(QString::fromLatin1(typed)), 0) << typed;
    for (const char* stored : {"0", "4096", "8192", "04098", " 16", "16 ", "Unknown", "16k"})
        EXPECT_EQ(fifoListTextForStoredText(QString::fromLatin1(stored)), std::nullopt) << stored;
}

} // namespace
} // namespace velmora
