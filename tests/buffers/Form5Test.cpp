#include "app/Form1.h"
#include "buffers/FifoSizes.h"
#include "buffers/Form5.h"
#include "platform/Registry.h"
#include "support/TestMachine.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <optional>

namespace velmora {
namespace {

using testing::TestMachine;

const QString kSystemIni = QStringLiteral("WINDOWS/SYSTEM.INI");
const QByteArray kSystemIniBefore = "[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\nebios=*ebios\r\n"
                                    "woafont=dosapp.fon\r\n\r\n[NonWindowsApp]\r\nCommandEnvSize=\r\n";
const QByteArray kSerialKey = "System\\CurrentControlSet\\Services\\Serial";
const QByteArray kAdapterKey = "System\\CurrentControlSet\\Services\\Class\\Net\\0000";
const QString kSelectSize = QStringLiteral("Select Size");
const QString kSure = QStringLiteral("Are You Sure You Want To Set This Buffer?");

QByteArray regFile(const QByteArray& serialValues)
{
    return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Serial]\r\n" + serialValues +
           "\r\n";
}

// The main window loaded, and the buffer settings window opened from its button.
class Form5Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(machine.context().registryValues, nullptr) << "the registry is not wired into the program";
        form1 = qobject_cast<Form1*>(machine.app().windows().load(QStringLiteral("Form1")));
        ASSERT_NE(form1, nullptr);
        form1->show();
    }

    Form5* open()
    {
        QTest::mouseClick(form1->findChild<QPushButton*>(QStringLiteral("cmdCustomBufferSet")), Qt::LeftButton);
        return form5();
    }
    Form5* form5() { return machine.app().windows().find<Form5>(); }
    template <typename Control> Control* control(const char* name)
    {
        return form5()->findChild<Control*>(QString::fromLatin1(name));
    }
    void click(const char* name) { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }
    void retype(const char* name, const QString& text)
    {
        auto* edit = control<QLineEdit>(name);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    void pick(const char* list, const QString& text)
    {
        auto* box = control<QComboBox>(list);
        const int index = box->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    void typeInList(const char* list, const QString& text)
    {
        QLineEdit* edit = control<QComboBox>(list)->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    QString shown(const char* list) { return control<QComboBox>(list)->currentText(); }

    QString registryPath() { return machine.app().machine().registryFile(); }
    void writeRegistry(const QByteArray& bytes)
    {
        QFile file(registryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QByteArray registryBytes()
    {
        QFile file(registryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // A number value as it is kept on disk, read through a registry of its own.
    std::optional<quint32> storedNumber(const QByteArray& key, const QByteArray& name)
    {
        RegistryApi api(registryPath());
        HKEY handle = 0;
        if (api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS_9X, &handle) != ERROR_SUCCESS)
            return std::nullopt;
        quint32 type = 0;
        quint8 data[16] = {};
        quint32 size = sizeof data;
        const long result = api.RegQueryValueExA(handle, name, &type, data, &size);
        api.RegCloseKey(handle);
        if (result != ERROR_SUCCESS || type != REG_DWORD || size != 4)
            return std::nullopt;
        return qFromLittleEndian<quint32>(data);
    }

    TestMachine machine;
    Form1* form1 = nullptr;
};

TEST_F(Form5Test, HoldsTheMainWindowOffWhileOpen)
{
    ASSERT_NE(open(), nullptr);
    EXPECT_TRUE(form5()->isVisible());
    EXPECT_FALSE(form1->isEnabled());
    form5()->close();
    EXPECT_EQ(form5(), nullptr);
    EXPECT_TRUE(form1->isEnabled());
}

// --- Com port buffer -------------------------------------------------------------------------

TEST_F(Form5Test, SetBufferWritesTheIrqThenTheBufferIntoTheSection)
{
    machine.writeFile(kSystemIni, kSystemIniBefore);
    ASSERT_NE(open(), nullptr);
    machine.boxes().expect(kSure, MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes);
    machine.boxes().expect(QStringLiteral("Buffer Was Set! You Should Restart to apply the Changes"));
    click("cmdSetBuffer");
    EXPECT_EQ(machine.readFile(kSystemIni),
              QByteArray("[boot]\r\nshell=Explorer.exe\r\n\r\n[386Enh]\r\nebios=*ebios\r\nwoafont=dosapp.fon\r\n"
                         "Com2Irq=3\r\nCom2Buffer=1024\r\n\r\n[NonWindowsApp]\r\nCommandEnvSize=\r\n"));
}

TEST_F(Form5Test, SetBufferReplacesExistingEntriesInPlace)
{
    machine.writeFile(kSystemIni, "[386ENH]\r\nCOM4Buffer=512\r\nkeyboard=*vkd\r\ncom4irq=5\r\n");
    ASSERT_NE(open(), nullptr);
    retype("Text1", QStringLiteral("4"));
    retype("txtIRQ", QStringLiteral("3"));
    retype("txtBuffer", QStringLiteral("2048"));
    machine.boxes().expect(kSure, MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes);
    machine.boxes().expect(QStringLiteral("Buffer Was Set! You Should Restart to apply the Changes"));
    click("cmdSetBuffer");
    EXPECT_EQ(machine.readFile(kSystemIni),
              QByteArray("[386ENH]\r\nCOM4Buffer=2048\r\nkeyboard=*vkd\r\ncom4irq=3\r\n"));
}

TEST_F(Form5Test, BoxesTakeOneOneAndFourCharacters)
{
    ASSERT_NE(open(), nullptr);
    retype("Text1", QStringLiteral("12"));
    retype("txtIRQ", QStringLiteral("45"));
    retype("txtBuffer", QStringLiteral("16384"));
    machine.boxes().expect(kSure, MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes);
    machine.boxes().expect(QStringLiteral("Buffer Was Set! You Should Restart to apply the Changes"));
    click("cmdSetBuffer");
    // No system.ini yet: the file is created, named as the program spells it.
    EXPECT_EQ(machine.readFile(QStringLiteral("WINDOWS/system.ini")),
              QByteArray("[386Enh]\r\nCom1Irq=4\r\nCom1Buffer=1638\r\n"));
}

TEST_F(Form5Test, AnsweringNoWritesNothing)
{
    machine.writeFile(kSystemIni, kSystemIniBefore);
    ASSERT_NE(open(), nullptr);
    machine.boxes().expect(kSure, MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::No);
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
    retype("Text1", c.port);
    retype("txtIRQ", c.irq);
    retype("txtBuffer", c.buffer);
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
    machine.boxes().expect(kSure, MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes);
    machine.boxes().expectStartingWith(QStringLiteral("The change could not be saved.\nc:\\windows\\system.ini: "),
                                       MsgIcon::Critical);
    click("cmdSetBuffer");
    EXPECT_EQ(machine.boxes().shown().size(), 2) << "one failure, and nothing after it";
}

TEST_F(Form5Test, PortTextThatWouldCorruptTheFileIsReportedAndNothingIsWritten)
{
    machine.writeFile(kSystemIni, kSystemIniBefore);
    ASSERT_NE(open(), nullptr);
    retype("Text1", QStringLiteral("="));
    machine.boxes().expect(kSure, MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes);
    machine.boxes().expectStartingWith(QStringLiteral("The change could not be saved.\nc:\\windows\\system.ini: "),
                                       MsgIcon::Critical);
    click("cmdSetBuffer");
    EXPECT_EQ(machine.boxes().shown().size(), 2);
    EXPECT_EQ(machine.readFile(kSystemIni), kSystemIniBefore);
}

// --- FIFO sizes ------------------------------------------------------------------------------

struct LoadCase {
    const char* name;
    QByteArray registry; // null: no registry file at all
    QString tx, rx;
};

class Form5FifoLoadTest : public Form5Test, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(Form5FifoLoadTest, ShowsTheStoredSizes)
{
    const LoadCase& c = GetParam();
    if (c.registry.isNull())
        QFile::remove(registryPath()); // the main window's load may have started one
    else
        writeRegistry(c.registry);
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(shown("cmbTx"), c.tx);
    EXPECT_EQ(shown("cmbRx"), c.rx);
    EXPECT_EQ(registryBytes(), c.registry) << "opening the window writes nothing";
    EXPECT_EQ(QFile::exists(registryPath()), !c.registry.isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Stored, Form5FifoLoadTest,
    ::testing::Values(
        LoadCase{"NoRegistry", QByteArray(), kSelectSize, kSelectSize},
        LoadCase{"NoSerialKey", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\System]\r\n\r\n", kSelectSize, kSelectSize},
        LoadCase{"NoValues", regFile(""), kSelectSize, kSelectSize},
        LoadCase{"OddSizesOfTheTable", regFile("\"TxFIFO\"=dword:00001002\r\n\"RxFIFO\"=dword:00002004\r\n"), "4MB",
                 "8MB"},
        LoadCase{"PowersOfTwoAreNotTheTablesSizes",
                 regFile("\"TxFIFO\"=dword:00001000\r\n\"RxFIFO\"=dword:00002000\r\n"), kSelectSize, kSelectSize},
        LoadCase{"SmallestAndLargest", regFile("\"TxFIFO\"=dword:00000010\r\n\"RxFIFO\"=dword:00004000\r\n"), "16k",
                 "16MB"},
        LoadCase{"NumberNotInTheTable", regFile("\"TxFIFO\"=dword:0000000e\r\n\"RxFIFO\"=dword:00000000\r\n"),
                 kSelectSize, kSelectSize},
        LoadCase{"BytesAreNotANumber", regFile("\"TxFIFO\"=hex:10,00,00,00\r\n\"RxFIFO\"=hex:\r\n"), kSelectSize,
                 kSelectSize},
        LoadCase{"DamagedFile", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\System\r\n\"TxFIFO\"=dword:zz\r\n",
                 kSelectSize, kSelectSize}),
    [](const auto& info) { return std::string(info.param.name); });

struct SetCase {
    const char* name;
    const char* tx;   // picked from the list
    const char* rx;
    const char* typedTx; // typed over the pick, when set
    quint32 storedTx, storedRx;
    QString shownTx, shownRx; // at the next opening
};

class Form5FifoSetTest : public Form5Test, public ::testing::WithParamInterface<SetCase> {};

TEST_P(Form5FifoSetTest, StoresBothSizesUnderBothKeys)
{
    const SetCase& c = GetParam();
    writeRegistry(regFile("\"Other\"=\"kept\"\r\n"));
    ASSERT_NE(open(), nullptr);
    pick("cmbTx", QString::fromLatin1(c.tx));
    pick("cmbRx", QString::fromLatin1(c.rx));
    if (c.typedTx)
        typeInList("cmbTx", QString::fromLatin1(c.typedTx));
    machine.boxes().expect(QStringLiteral("Receive Buffer and Transmit Buffer have been set!"));
    click("cmdSetFIFOBuff");

    for (const QByteArray& key : {kSerialKey, kAdapterKey}) {
        EXPECT_EQ(storedNumber(key, "TxFIFO"), c.storedTx) << key.constData();
        EXPECT_EQ(storedNumber(key, "RxFIFO"), c.storedRx) << key.constData();
    }
    EXPECT_TRUE(registryBytes().contains("\"Other\"=\"kept\"\r\n"));

    form5()->close();
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

struct UnpickedCase {
    const char* name;
    const char* pickTx; // nullptr: left at "Select Size"
    const char* pickRx;
};

class Form5FifoUnpickedTest : public Form5Test, public ::testing::WithParamInterface<UnpickedCase> {};

TEST_P(Form5FifoUnpickedTest, AsksOnceAndWritesNothing)
{
    const UnpickedCase& c = GetParam();
    const QByteArray before = regFile("\"TxFIFO\"=dword:0000000e\r\n");
    writeRegistry(before);
    ASSERT_NE(open(), nullptr);
    if (c.pickTx)
        pick("cmbTx", QString::fromLatin1(c.pickTx));
    if (c.pickRx)
        pick("cmbRx", QString::fromLatin1(c.pickRx));
    machine.boxes().expect(QStringLiteral("You Must Select a Buffer Size!"), MsgIcon::Exclamation);
    click("cmdSetFIFOBuff");
    EXPECT_EQ(machine.boxes().shown().size(), 1);
    EXPECT_EQ(registryBytes(), before);
}

INSTANTIATE_TEST_SUITE_P(Lists, Form5FifoUnpickedTest,
                         ::testing::Values(UnpickedCase{"NeitherPicked", nullptr, nullptr},
                                           UnpickedCase{"OnlySendPicked", "16k", nullptr},
                                           UnpickedCase{"OnlyReceivePicked", nullptr, "16k"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form5Test, RegistryThatCannotBeWrittenStopsAtTheFirstValue)
{
    const QByteArray damaged = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\System\r\n\"TxFIFO\"=dword:zz\r\n";
    writeRegistry(damaged);
    ASSERT_NE(open(), nullptr);
    pick("cmbTx", QStringLiteral("1MB"));
    pick("cmbRx", QStringLiteral("2MB"));
    machine.boxes().expectStartingWith(
        QStringLiteral("The change could not be saved.\n"
                       "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Serial\\RxFIFO: "),
        MsgIcon::Critical);
    click("cmdSetFIFOBuff");
    EXPECT_EQ(machine.boxes().shown().size(), 1) << "the three later values are not attempted";
    EXPECT_EQ(registryBytes(), damaged) << "a damaged registry is never overwritten";
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
