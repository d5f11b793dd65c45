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

// The sizes and keys of every choice are the MtuChoice table's; this proves the buttons use it.
TEST_F(MtuFrameTest, TheWindowShowsAndWritesTheChosenSizeAndRefusesABadOneForAol)
{
    load(kMaxInstance8 + "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0000]\r\n"
                         "\"IPMTU\"=\"1400\"\r\n\r\n");
    EXPECT_TRUE(option(4)->isChecked());
    EXPECT_EQ(shown("txtMTU"), QStringLiteral("1400"));
    chooseOther("1400");
    set("Command3", kDialUpSet);
    EXPECT_EQ(machine.storedValue(kNet, "IPMTU"), (Value{REG_SZ, "1400"}));
    set("Command2", kAolSet);
    EXPECT_EQ(machine.storedValue(kAolTyped, "mtu"), (Value{REG_DWORD, dword(1400)}));

    chooseOther("14k");
    machine.boxes().expect(QStringLiteral("Please enter a valid MTU packet size!"), MsgIcon::Exclamation);
    click("Command2");
    EXPECT_EQ(machine.storedValue(kAolTyped, "mtu"), (Value{REG_DWORD, dword(1400)}));
}

} // namespace
} // namespace velmora
