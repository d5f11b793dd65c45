#include "app/Form1.h"
#include "support/TestMachine.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::TestMachine;

const QString kNdi = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi\\");
const QString kNet = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000\\");
const QString kAol = QStringLiteral("Software\\America Online\\AOL\\aolsock\\");
const QString kAolTyped = QStringLiteral("Software\\America%20Online\\AOL\\aolsock\\");
const QByteArray kMaxInstance8 =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi]\r\n\"MaxInstance\"=\"8\"\r\n\r\n";

QByteArray text(const char* value) { return QByteArray(value); }
QByteArray dword(quint32 number)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((number >> (8 * i)) & 0xFF);
    return bytes;
}

class MtuFrameTest : public ::testing::Test {
protected:
    Form1* load(const QByteArray& registryBlocks)
    {
        machine.writeRegistry(registryBlocks);
        form = qobject_cast<Form1*>(machine.app().windows().load(QStringLiteral("Form1")));
        if (form)
            form->show(); // clicks reach only visible controls
        return form;
    }
    template <typename T> T* control(const QString& name) { return form->findChild<T*>(name); }
    QRadioButton* option(int i) { return control<QRadioButton>(QStringLiteral("optMTU_%1").arg(i)); }
    int selected()
    {
        for (int i = 0; i < 5; ++i)
            if (option(i)->isChecked())
                return i;
        return -1;
    }
    void click(const char* button) { QTest::mouseClick(control<QPushButton>(QString::fromLatin1(button)), Qt::LeftButton); }
    void chooseOther(const QString& size)
    {
        QTest::mouseClick(option(4), Qt::LeftButton);
        auto* box = control<QLineEdit>(QStringLiteral("txtMTU"));
        box->clear();
        QTest::keyClicks(box, size);
    }
    QByteArray valueData(const QString& key, const char* name)
    {
        const auto value = machine.queryValue(key, QString::fromLatin1(name));
        return value ? value->data : QByteArray("<missing>");
    }
    quint32 valueType(const QString& key, const char* name)
    {
        const auto value = machine.queryValue(key, QString::fromLatin1(name));
        return value ? value->type : 0;
    }

    TestMachine machine;
    Form1* form = nullptr;
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
    QByteArray blocks = kMaxInstance8 + "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0000]\r\n" +
                        c.ipmtuLine + "\"DriverDesc\"=\"Dial-Up Adapter\"\r\n\r\n";
    ASSERT_NE(load(blocks), nullptr);
    EXPECT_EQ(selected(), c.option);
    EXPECT_EQ(control<QLineEdit>(QStringLiteral("txtMTU"))->text().toStdString(), c.mtuText);
}

INSTANTIATE_TEST_SUITE_P(
    StoredSizes, MtuLoadTest,
    ::testing::Values(LoadCase{"Absent", "", 0, ""}, LoadCase{"AutoDetect", "\"IPMTU\"=\"0\"\r\n", 0, ""},
                      LoadCase{"Medium", "\"IPMTU\"=\"1000\"\r\n", 2, ""},
                      LoadCase{"Large", "\"IPMTU\"=\"1500\"\r\n", 3, ""},
                      LoadCase{"OtherSize", "\"IPMTU\"=\"1400\"\r\n", 4, "1400"},
                      LoadCase{"TrailingBlankIsOther", "\"IPMTU\"=\"1500 \"\r\n", 4, "1500 "},
                      LoadCase{"LeadingZeroIsOther", "\"IPMTU\"=\"01500\"\r\n", 4, "01500"},
                      LoadCase{"NumberValue", "\"IPMTU\"=dword:00000240\r\n", 1, ""},
                      LoadCase{"BinaryCountsAsUnknown", "\"IPMTU\"=hex:31,34,30,30\r\n", 0, ""}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

TEST_F(MtuFrameTest, MissingMaxInstanceIsWrittenAtLoad)
{
    ASSERT_NE(load(""), nullptr);
    EXPECT_EQ(control<QLineEdit>(QStringLiteral("txtMaxInst"))->text().toStdString(), "8");
    EXPECT_EQ(valueType(kNdi, "MaxInstance"), 1u);
    EXPECT_EQ(valueData(kNdi, "MaxInstance"), text("8"));
}

TEST_F(MtuFrameTest, BinaryMaxInstanceIsReplacedByText)
{
    ASSERT_NE(load("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi]\r\n"
                   "\"MaxInstance\"=hex:31,36\r\n\r\n"),
              nullptr);
    EXPECT_EQ(control<QLineEdit>(QStringLiteral("txtMaxInst"))->text().toStdString(), "8");
    EXPECT_EQ(valueType(kNdi, "MaxInstance"), 1u);
    EXPECT_EQ(valueData(kNdi, "MaxInstance"), text("8"));
}

TEST_F(MtuFrameTest, StoredMaxInstanceIsShownAndNotRewritten)
{
    const QByteArray blocks = "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi]\r\n"
                              "\"MaxInstance\"=\"16\"\r\n\r\n";
    ASSERT_NE(load(blocks), nullptr);
    EXPECT_EQ(control<QLineEdit>(QStringLiteral("txtMaxInst"))->text().toStdString(), "16");
    QFile file(machine.root() + QStringLiteral("/system.reg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "REGEDIT4\r\n\r\n" + blocks);
}

TEST_F(MtuFrameTest, SetMaxInstanceWritesTheTextAsTyped)
{
    ASSERT_NE(load(kMaxInstance8), nullptr);
    auto* box = control<QLineEdit>(QStringLiteral("txtMaxInst"));
    for (const char* typed : {"12", ""}) {
        box->clear();
        QTest::keyClicks(box, QString::fromLatin1(typed));
        machine.boxes().expect(QStringLiteral("Max Instance has been set!"));
        click("cmdSetMaxInst");
        EXPECT_EQ(valueData(kNdi, "MaxInstance"), text(typed));
        EXPECT_EQ(valueType(kNdi, "MaxInstance"), 1u);
    }
}

TEST_F(MtuFrameTest, FixedSizesGoToBothClients)
{
    ASSERT_NE(load(kMaxInstance8), nullptr);
    const struct {
        int option;
        const char* text;
        quint32 number;
    } sizes[] = {{1, "576", 576}, {2, "1000", 1000}, {3, "1500", 1500}, {0, "0", 0}};
    for (const auto& size : sizes) {
        QTest::mouseClick(option(size.option), Qt::LeftButton);
        machine.boxes().expect(QStringLiteral("Dial-Up Adapter MTU Packet Size has been set!"));
        click("Command3");
        EXPECT_EQ(valueData(kNet, "IPMTU"), text(size.text));
        machine.boxes().expect(QStringLiteral("America Online MTU Packet Size has been set!"));
        click("Command2");
        EXPECT_EQ(valueType(kAol, "mtu"), 4u);
        EXPECT_EQ(valueData(kAol, "mtu"), dword(size.number));
    }
    EXPECT_FALSE(machine.queryValue(kAolTyped, QStringLiteral("mtu")).has_value());
}

TEST_F(MtuFrameTest, TypedSizeGoesToTheOtherAolKey)
{
    ASSERT_NE(load(kMaxInstance8), nullptr);
    chooseOther(QStringLiteral("1400"));
    machine.boxes().expect(QStringLiteral("Dial-Up Adapter MTU Packet Size has been set!"));
    click("Command3");
    EXPECT_EQ(valueData(kNet, "IPMTU"), text("1400"));
    machine.boxes().expect(QStringLiteral("America Online MTU Packet Size has been set!"));
    click("Command2");
    EXPECT_EQ(valueData(kAolTyped, "mtu"), dword(1400));
    EXPECT_FALSE(machine.queryValue(kAol, QStringLiteral("mtu")).has_value());
}

TEST_F(MtuFrameTest, EmptyOtherSizeIsWrittenForDialUp)
{
    ASSERT_NE(load(kMaxInstance8), nullptr);
    chooseOther(QString());
    machine.boxes().expect(QStringLiteral("Dial-Up Adapter MTU Packet Size has been set!"));
    click("Command3");
    EXPECT_EQ(valueData(kNet, "IPMTU"), QByteArray());
}

TEST_F(MtuFrameTest, TypedSizeThatIsNoWholeNumberIsRefusedForAol)
{
    ASSERT_NE(load(kMaxInstance8), nullptr);
    for (const char* typed : {"", "abc", "14k", "1400.5", "4294967296", "99999999999"}) {
        chooseOther(QString::fromLatin1(typed));
        machine.boxes().expect(QStringLiteral("Please enter a valid MTU packet size!"), MsgIcon::Exclamation);
        click("Command2");
        EXPECT_FALSE(machine.queryValue(kAolTyped, QStringLiteral("mtu")).has_value()) << typed;
    }
    chooseOther(QStringLiteral("-1"));
    machine.boxes().expect(QStringLiteral("America Online MTU Packet Size has been set!"));
    click("Command2");
    EXPECT_EQ(valueData(kAolTyped, "mtu"), dword(0xFFFFFFFF));
}

TEST_F(MtuFrameTest, FailedWritesAreReported)
{
    ASSERT_NE(load(kMaxInstance8), nullptr);
    machine.damageRegistry();
    const QString prefix = QStringLiteral("The change could not be saved.\nHKEY_LOCAL_MACHINE\\");
    machine.boxes().expectStartingWith(prefix + kNdi + QStringLiteral("MaxInstance: "), MsgIcon::Critical);
    click("cmdSetMaxInst");
    machine.boxes().expectStartingWith(prefix + kNet + QStringLiteral("IPMTU: "), MsgIcon::Critical);
    click("Command3");
    machine.boxes().expectStartingWith(prefix + kAol + QStringLiteral("mtu: "), MsgIcon::Critical);
    click("Command2");
    machine.boxes().verifyAllShown();
    EXPECT_TRUE(machine.boxes().lastText().contains(QStringLiteral("system.reg")));
}

} // namespace
} // namespace velmora
