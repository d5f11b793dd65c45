#include "platform/Registry.h"
#include "support/WindowTest.h"

#include <QRadioButton>
#include <QTest>

namespace velmora {
namespace {

using testing::dword;
using Value = testing::TestMachine::Value;

const QString kNdi = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi");
const QString kNet = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000");
const QString kAol = QStringLiteral("Software\\America Online\\AOL\\aolsock");
const QString kAolTyped = QStringLiteral("Software\\America%20Online\\AOL\\aolsock");
const QByteArray kNdiBlock =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi]\r\n";
const QByteArray kMaxInstance8 = kNdiBlock + "\"MaxInstance\"=\"8\"\r\n\r\n";
const QString kDialUpSet = QStringLiteral("Dial-Up Adapter MTU Packet Size has been set!");
const QString kAolSet = QStringLiteral("America Online MTU Packet Size has been set!");

class MtuFrameTest : public testing::WindowTest {
protected:
    void load(const QByteArray& registryBlocks)
    {
        machine.writeRegistry(registryBlocks);
        ASSERT_NE(mainWindow(), nullptr);
    }
    QRadioButton* option(int i) { return control<QRadioButton>(QStringLiteral("optMTU_%1").arg(i)); }
    int selected()
    {
        for (int i = 0; i < 5; ++i)
            if (option(i)->isChecked())
                return i;
        return -1;
    }
    void chooseOther(const QString& size)
    {
        QTest::mouseClick(option(4), Qt::LeftButton);
        type("txtMTU", size);
    }
    void set(const char* button, const QString& message)
    {
        machine.boxes().expect(message);
        click(button);
    }
};

struct LoadCase {
    const char* name;
    QByteArray ipmtuLine; // empty: no IPMTU value
    int option;
    const char* mtuText;
};

class MtuLoadTest : public MtuFrameTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(MtuLoadTest, SelectsTheStoredSize)
{
    const LoadCase& c = GetParam();
    load(kMaxInstance8 + "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0000]\r\n" +
         c.ipmtuLine + "\"DriverDesc\"=\"Dial-Up Adapter\"\r\n\r\n");
    EXPECT_EQ(selected(), c.option);
    EXPECT_EQ(shown("txtMTU").toStdString(), c.mtuText);
}

INSTANTIATE_TEST_SUITE_P(
    StoredSizes, MtuLoadTest,
    ::testing::Values(LoadCase{"Absent", "", 0, ""}, LoadCase{"AutoDetect", "\"IPMTU\"=\"0\"\r\n", 0, ""},
                      LoadCase{"Large", "\"IPMTU\"=\"1500\"\r\n", 3, ""},
                      LoadCase{"OtherSize", "\"IPMTU\"=\"1400\"\r\n", 4, "1400"},
                      LoadCase{"NumberValue", "\"IPMTU\"=dword:00000240\r\n", 1, ""},
                      LoadCase{"BinaryCountsAsUnknown", "\"IPMTU\"=hex:31,34,30,30\r\n", 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct MaxInstanceCase {
    const char* name;
    QByteArray line; // empty: no MaxInstance value
    const char* shown;
};

class MaxInstanceLoadTest : public MtuFrameTest, public ::testing::WithParamInterface<MaxInstanceCase> {};

// A stored text is shown whole and left alone; anything else is replaced by the text "8".
TEST_P(MaxInstanceLoadTest, ShowsTheStoredTextOrWritesEight)
{
    const MaxInstanceCase& c = GetParam();
    const QByteArray stored = "REGEDIT4\r\n\r\n" + kNdiBlock + c.line + "\r\n";
    load(kNdiBlock + c.line + "\r\n");
    EXPECT_EQ(shown("txtMaxInst"), QString::fromLatin1(c.shown));
    EXPECT_EQ(machine.storedValue(kNdi, "MaxInstance"), (Value{REG_SZ, c.shown}));
    EXPECT_EQ(machine.registryBytes() == stored, c.line.contains("=\""));
}

INSTANTIATE_TEST_SUITE_P(
    Stored, MaxInstanceLoadTest,
    ::testing::Values(MaxInstanceCase{"Missing", "", "8"},
                      MaxInstanceCase{"Binary", "\"MaxInstance\"=hex:31,36\r\n", "8"},
                      MaxInstanceCase{"Text", "\"MaxInstance\"=\"16\"\r\n", "16"},
                      // The box takes two typed characters but never cuts a stored value.
                      MaxInstanceCase{"LongerThanTheBoxTakes", "\"MaxInstance\"=\"128\"\r\n", "128"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MtuFrameTest, SetMaxInstanceWritesTheTextAsTyped)
{
    load(kMaxInstance8);
    for (const char* typed : {"12", ""}) {
        type("txtMaxInst", typed);
        set("cmdSetMaxInst", QStringLiteral("Max Instance has been set!"));
        EXPECT_EQ(machine.storedValue(kNdi, "MaxInstance"), (Value{REG_SZ, typed}));
    }
    type("txtMaxInst", QStringLiteral("345"));
    EXPECT_EQ(shown("txtMaxInst").toStdString(), "34");
}

TEST_F(MtuFrameTest, FixedSizesGoToBothClients)
{
    load(kMaxInstance8);
    const struct {
        int option;
        const char* text;
        quint32 number;
    } sizes[] = {{1, "576", 576}, {2, "1000", 1000}, {3, "1500", 1500}, {0, "0", 0}};
    for (const auto& size : sizes) {
        QTest::mouseClick(option(size.option), Qt::LeftButton);
        set("Command3", kDialUpSet);
        EXPECT_EQ(machine.storedValue(kNet, "IPMTU"), (Value{REG_SZ, size.text}));
        set("Command2", kAolSet);
        EXPECT_EQ(machine.storedValue(kAol, "mtu"), (Value{REG_DWORD, dword(size.number)}));
    }
    EXPECT_EQ(machine.storedValue(kAolTyped, "mtu"), std::nullopt);
}

TEST_F(MtuFrameTest, TypedSizeGoesToTheOtherAolKey)
{
    load(kMaxInstance8);
    chooseOther("1400");
    set("Command3", kDialUpSet);
    EXPECT_EQ(machine.storedValue(kNet, "IPMTU"), (Value{REG_SZ, "1400"}));
    set("Command2", kAolSet);
    EXPECT_EQ(machine.storedValue(kAolTyped, "mtu"), (Value{REG_DWORD, dword(1400)}));
    EXPECT_EQ(machine.storedValue(kAol, "mtu"), std::nullopt);

    chooseOther(QString()); // an empty size is written for dial-up
    set("Command3", kDialUpSet);
    EXPECT_EQ(machine.storedValue(kNet, "IPMTU"), (Value{REG_SZ, ""}));
}

TEST_F(MtuFrameTest, TypedSizeThatIsNoWholeNumberIsRefusedForAol)
{
    load(kMaxInstance8);
    for (const char* typed : {"", "14k", "4294967296"}) {
        chooseOther(typed);
        machine.boxes().expect(QStringLiteral("Please enter a valid MTU packet size!"), MsgIcon::Exclamation);
        click("Command2");
        EXPECT_EQ(machine.storedValue(kAolTyped, "mtu"), std::nullopt) << typed;
    }
    chooseOther("-1");
    set("Command2", kAolSet);
    EXPECT_EQ(machine.storedValue(kAolTyped, "mtu"), (Value{REG_DWORD, dword(0xFFFFFFFF)}));
}

} // namespace
} // namespace velmora
