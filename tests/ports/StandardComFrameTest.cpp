#include "app/Form1.h"
#include "support/TestMachine.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::TestMachine;

const QString kWinIni = QStringLiteral("WINDOWS/WIN.INI");

class PortFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = qobject_cast<Form1*>(machine.app().windows().load(QStringLiteral("Form1")));
        ASSERT_NE(form, nullptr);
        form->show();
    }

    QComboBox* list(const char* name) { return form->findChild<QComboBox*>(QString::fromLatin1(name)); }
    QPushButton* apply() { return form->findChild<QPushButton*>(QStringLiteral("cmdApplyCom")); }

    // Picks an item from the port list as the user does.
    void pickPort(const QString& name)
    {
        QComboBox* ports = list("cmbCommPorts");
        const int index = ports->findText(name);
        ASSERT_GE(index, 0);
        ports->setCurrentIndex(index);
        emit ports->activated(index);
    }
    // Types into a list's text, replacing what it shows.
    void type(const char* name, const QString& text)
    {
        QComboBox* box = list(name);
        box->lineEdit()->selectAll();
        if (text.isEmpty())
            QTest::keyClick(box->lineEdit(), Qt::Key_Delete);
        else if (text.toLatin1() == text.toUtf8())
            QTest::keyClicks(box->lineEdit(), text);
        else
            box->lineEdit()->insert(text); // QTest types ASCII only
    }
    QStringList shown()
    {
        QStringList texts;
        for (const char* name : {"comBps", "comParity", "comData", "comStop", "comFlow"})
            texts << list(name)->currentText();
        return texts;
    }
    void clickApply() { QTest::mouseClick(apply(), Qt::LeftButton); }

    TestMachine machine;
    Form1* form = nullptr;
};

struct ReadCase {
    const char* name;
    QByteArray file;
    const char* port;
    QStringList expected;
};

class PortReadingTest : public PortFrameTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(PortReadingTest, PickShowsTheEntry)
{
    const ReadCase& c = GetParam();
    if (!c.file.isNull())
        machine.writeFile(kWinIni, c.file);
    pickPort(QString::fromLatin1(c.port));
    EXPECT_EQ(shown(), c.expected);
    EXPECT_TRUE(apply()->isEnabled());
}

const QByteArray kJunk = [] {
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i)
        bytes.append(char((i * 7919) % 256));
    return bytes;
}();

INSTANTIATE_TEST_SUITE_P(
    Entries, PortReadingTest,
    ::testing::Values(
        ReadCase{"UsualLine", "[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=9600,n,8,1,x\r\n", "Com Port 2",
                 {"9600", "None", "8", "1", "Xon / Xoff"}},
        ReadCase{"EvenHardware", "[Ports]\r\nCOM3:=19200,e,7,1.5,p\r\n", "Com Port 3",
                 {"19200", "Even", "7", "1.5", "Hardware"}},
        ReadCase{"UnknownParityShownAsItStands", "[Ports]\r\nCOM1:=9600,N,8,1\r\nCOM2:=9600,n,8,1\r\n", "Com Port 1",
                 {"9600", "N", "8", "1", "None"}},
        ReadCase{"FieldsComeOnlyFromTheirOwnLine", "[Ports]\r\nCOM1:=9600,n\r\nCOM2:=4800,e,7,2,p\r\n", "Com Port 1",
                 {"9600", "None", "", "", "None"}},
        ReadCase{"OtherSectionLastWins", "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n[Other]\r\nCOM1:=2400,o,7,2,p\r\n",
                 "Com Port 1", {"2400", "Odd", "7", "2", "Hardware"}},
        ReadCase{"LowerCaseKeyNotFound", "[Ports]\r\ncom1:=9600,n,8,1,x\r\n", "Com Port 1",
                 {"", "", "", "", "None"}},
        ReadCase{"BlankFlowReadsNone", "[Ports]\r\nCOM4:=9600,n,8,1, \r\n", "Com Port 4",
                 {"9600", "None", "8", "1", "None"}},
        ReadCase{"LfOnlyFile", "[Ports]\nCOM1:=1200,m,5,2,p\nCOM2:=300,s,6,1,x\n", "Com Port 2",
                 {"300", "Space", "6", "1", "Xon / Xoff"}},
        ReadCase{"CrOnlyFile", "[Ports]\rCOM1:=1200,m,5,2,p\rCOM2:=300,s,6,1,x\r", "Com Port 1",
                 {"1200", "Mark", "5", "2", "Hardware"}},
        ReadCase{"QuotedItemWithComma", "[Ports]\r\nCOM1:=\"9600,n\",8,1\r\n", "Com Port 1",
                 {"\"9600", "n\"", "8", "1", "None"}},
        ReadCase{"EntryOnLastLineWithoutEnd", "[Ports]\r\nCOM1:=9600,n,8", "Com Port 1",
                 {"9600", "None", "8", "", "None"}},
        ReadCase{"CtrlZEndsTheFile", "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n\x1A" "COM1:=300,e,7,2,p\r\n", "Com Port 1",
                 {"9600", "None", "8", "1", "Xon / Xoff"}},
        ReadCase{"UnclosedQuote", "\"[Ports]\r\nCOM1:=9600,n,8,1,x\r\n", "Com Port 1", {"", "", "", "", "None"}},
        ReadCase{"NulBytesAreSkipped", QByteArray("[Ports]\r\nCOM1:=96|00,n,8,1,x\r\n").replace('|', '\0'), "Com Port 1",
                 {"9600", "None", "8", "1", "Xon / Xoff"}},
        ReadCase{"HugeLine", QByteArray(100000, 'A') + "\r\nCOM1:=9600,n,8,1,x\r\n", "Com Port 1",
                 {"9600", "None", "8", "1", "Xon / Xoff"}},
        ReadCase{"BinaryJunk", kJunk, "Com Port 1", {"", "", "", "", "None"}},
        ReadCase{"EmptyFile", "", "Com Port 1", {"", "", "", "", "None"}},
        ReadCase{"MissingFile", QByteArray(), "Com Port 1", {"", "", "", "", "None"}}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST_F(PortFrameTest, UnreadableFileShowsNoEntry)
{
    QDir().mkpath(machine.hostFile(kWinIni)); // a folder where the file should be
    type("comBps", QStringLiteral("123"));
    pickPort(QStringLiteral("Com Port 1"));
    EXPECT_EQ(shown(), QStringList({"", "", "", "", "None"}));
}

TEST_F(PortFrameTest, TypingIntoThePortListIsNoPick)
{
    type("cmbCommPorts", QStringLiteral("Com Port 1"));
    EXPECT_FALSE(apply()->isEnabled());
}

struct ApplyCase {
    const char* name;
    QStringList boxes; // rate, parity, data, stop, flow
    const char* refusal; // nullptr: written
    QByteArray written;  // the COM2: line's value when written
};

class PortApplyTest : public PortFrameTest, public ::testing::WithParamInterface<ApplyCase> {};

TEST_P(PortApplyTest, ValidatesAndWrites)
{
    const ApplyCase& c = GetParam();
    const QByteArray before = "[windows]\r\nload=\r\n\r\n[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=9600,n,8,1,x\r\n"
                              "LPT1:=\r\n\r\n[intl]\r\niCountry=1\r\n";
    machine.writeFile(kWinIni, before);
    pickPort(QStringLiteral("Com Port 2"));
    const char* names[] = {"comBps", "comParity", "comData", "comStop", "comFlow"};
    for (int i = 0; i < 5; ++i)
        type(names[i], c.boxes[i]);

    if (c.refusal) {
        machine.boxes().expect(QString::fromLatin1(c.refusal), MsgIcon::Exclamation);
        clickApply();
        EXPECT_EQ(machine.readFile(kWinIni), before);
    } else {
        machine.boxes().expect(QStringLiteral("Comm Settings have Been Changed!"));
        clickApply();
        QByteArray after = before;
        after.replace("COM2:=9600,n,8,1,x", "COM2:=" + c.written);
        EXPECT_EQ(machine.readFile(kWinIni).toStdString(), after.toStdString());
    }
    EXPECT_EQ(shown(), c.boxes) << "Apply leaves the boxes as they were";
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, PortApplyTest,
    ::testing::Values(
        ApplyCase{"AllFromLists", {"19200", "Even", "7", "1.5", "Hardware"}, nullptr, "19200,e,7,1.5,p"},
        ApplyCase{"FlowNoneIsOneBlank", {"9600", "None", "8", "1", "None"}, nullptr, "9600,n,8,1, "},
        ApplyCase{"TypedRateKept", {"14400", "Odd", "8", "2", "Xon / Xoff"}, nullptr, "14400,o,8,2,x"},
        ApplyCase{"UnknownParityEmpty", {"9600", "Parity?", "8", "1", "Xon / Xoff"}, nullptr, "9600,,8,1,x"},
        ApplyCase{"UnknownFlowEmpty", {"9600", "Mark", "8", "1", "xon"}, nullptr, "9600,m,8,1,"},
        ApplyCase{"OutsideCodePageBecomesQuestionMark", {QString::fromUtf8("96\u0141"), "Space", "8", "1", "None"},
                  nullptr, "96?,s,8,1, "},
        ApplyCase{"NoRate", {"", "None", "8", "1", "None"}, "Must Select a Bit Rate", {}},
        ApplyCase{"NoParity", {"9600", "", "8", "1", "None"}, "Must Select a Parity", {}},
        ApplyCase{"NoDataBitsChecksBeforeStopBits", {"9600", "None", "", "", "None"}, "Must Select a Data Bit", {}},
        ApplyCase{"NoStopBits", {"9600", "None", "8", "", "None"}, "Must Select a Stop Bit", {}},
        ApplyCase{"NoFlow", {"9600", "None", "8", "1", ""}, "Must Select a Flow Control", {}}),
    [](const ::testing::TestParamInfo<ApplyCase>& info) { return std::string(info.param.name); });

TEST_F(PortFrameTest, ApplyWithThePromptBackIsRefused)
{
    machine.writeFile(kWinIni, "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n");
    pickPort(QStringLiteral("Com Port 1"));
    type("cmbCommPorts", QStringLiteral("Select a Comm Port"));
    machine.boxes().expect(QStringLiteral("You Must Select a Comm Port!"), MsgIcon::Exclamation);
    clickApply();
}

TEST_F(PortFrameTest, TypedPortNameKeepsTheLastPickedKey)
{
    machine.writeFile(kWinIni, "[Ports]\r\nCOM3:=9600,n,8,1,x\r\n");
    pickPort(QStringLiteral("Com Port 3"));
    type("cmbCommPorts", QStringLiteral("Com Port 9"));
    type("comBps", QStringLiteral("57600"));
    machine.boxes().expect(QStringLiteral("Comm Settings have Been Changed!"));
    clickApply();
    EXPECT_EQ(machine.readFile(kWinIni).toStdString(), "[Ports]\r\nCOM3:=57600,n,8,1,x\r\n");
}

TEST_F(PortFrameTest, MissingFileAndSectionAreCreated)
{
    pickPort(QStringLiteral("Com Port 1"));
    for (const auto& [name, text] : {std::pair{"comBps", "9600"}, {"comParity", "None"}, {"comData", "8"},
                                     {"comStop", "1"}})
        type(name, QString::fromLatin1(text));
    machine.boxes().expect(QStringLiteral("Comm Settings have Been Changed!"));
    clickApply();
    // A new file takes the name as the program spells it.
    EXPECT_EQ(machine.readFile(QStringLiteral("WINDOWS/win.ini")).toStdString(), "[Ports]\r\nCOM1:=9600,n,8,1, \r\n");
}

TEST_F(PortFrameTest, FailedWriteIsReportedNotPraised)
{
    machine.writeFile(kWinIni, "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n");
    pickPort(QStringLiteral("Com Port 1"));
    QFile::remove(machine.hostFile(kWinIni));
    QDir().mkpath(machine.hostFile(kWinIni)); // a folder where the file should be
    machine.boxes().expectStartingWith(QStringLiteral("The change could not be saved.\nc:\\windows\\win.ini: "),
                                       MsgIcon::Critical);
    clickApply();
    EXPECT_TRUE(QFileInfo(machine.hostFile(kWinIni)).isDir());
}

TEST_F(PortFrameTest, PickingAgainRereadsTheFile)
{
    machine.writeFile(kWinIni, "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n");
    pickPort(QStringLiteral("Com Port 1"));
    type("comBps", QStringLiteral("300"));
    machine.boxes().expect(QStringLiteral("Comm Settings have Been Changed!"));
    clickApply();
    type("comBps", QStringLiteral("1"));
    pickPort(QStringLiteral("Com Port 1"));
    EXPECT_EQ(shown(), QStringList({"300", "None", "8", "1", "Xon / Xoff"}));
}

} // namespace
} // namespace velmora
