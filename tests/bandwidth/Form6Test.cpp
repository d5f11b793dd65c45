#include "app/Form1.h"
#include "bandwidth/Form6.h"
#include "support/TestMachine.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace velmora {
namespace {

using testing::TestMachine;

const QString kKey = QStringLiteral("Settings/DiduvazovAdiru");
const QString kWarning = QStringLiteral("WARNING!!!!: This option may not work on your modem! Infact, it may Damage "
                                        "your modem by overloading it, and it may overheat!");
const QString kTurnedOn = QStringLiteral("Diduvazov Adiru has been turned on!");
const QString kNoChanges = QStringLiteral("No changes were made!");
const QString kReadAll = QStringLiteral("I Hope you have read ALL of the text in this window!!!!!!!!");
const QString kSaveFailed = QStringLiteral("The change could not be saved.\nVelmora settings: ");

// The user's own store (CTest gives this program a config home of its own), as the program
// keeps it: organisation and application "Velmora".
QString settingsFile() { return QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).fileName(); }

std::optional<QString> storedPreference()
{
    const QSettings store(QStringLiteral("Velmora"), QStringLiteral("Velmora"));
    return store.contains(kKey) ? std::optional<QString>(store.value(kKey).toString()) : std::nullopt;
}

void storePreference(const QString& text)
{
    QSettings store(QStringLiteral("Velmora"), QStringLiteral("Velmora"));
    store.setValue(kKey, text);
    store.sync();
}

class Form6Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir(settingsFile()).removeRecursively();
        QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).remove(kKey);
        ASSERT_EQ(storedPreference(), std::nullopt);
        form1 = qobject_cast<Form1*>(machine.app().windows().load(QStringLiteral("Form1")));
        ASSERT_NE(form1, nullptr);
        form1->show();
    }
    void TearDown() override { QDir(settingsFile()).removeRecursively(); }

    Form6* open()
    {
        QTest::mouseClick(form1->findChild<QPushButton*>(QStringLiteral("cmdBandwidth")), Qt::LeftButton);
        return form6();
    }
    Form6* form6() { return machine.app().windows().find<Form6>(); }
    QCheckBox* check1() { return form6()->findChild<QCheckBox*>(QStringLiteral("Check1")); }
    void clickSet()
    {
        QTest::mouseClick(form6()->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    }
    void answerWarning(MsgAnswer answer)
    {
        machine.boxes().expect(kWarning, MsgIcon::Critical, MsgButtons::YesNo, answer);
    }
    // The store's file replaced by a folder: every save fails (also when running as root).
    void breakTheStore()
    {
        QFile::remove(settingsFile());
        ASSERT_TRUE(QDir().mkpath(settingsFile()));
    }

    TestMachine machine;
    Form1* form1 = nullptr;
};

TEST_F(Form6Test, FirstOpeningShowsOffAndWritesNothing)
{
    ASSERT_NE(open(), nullptr);
    EXPECT_FALSE(form1->isEnabled());
    EXPECT_FALSE(check1()->isChecked());
    form6()->close();
    EXPECT_EQ(form6(), nullptr);
    EXPECT_TRUE(form1->isEnabled());
    EXPECT_EQ(storedPreference(), std::nullopt);
}

struct StoredCase {
    const char* name;
    QString stored;
    bool ticked;
};

class Form6StoredTest : public Form6Test, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(Form6StoredTest, OpeningShowsTheStoredPreferenceWithoutAWord)
{
    const StoredCase& c = GetParam();
    storePreference(c.stored);
    ASSERT_NE(open(), nullptr); // setting the box from code shows no message
    EXPECT_EQ(check1()->isChecked(), c.ticked);
    form6()->close();
    EXPECT_EQ(storedPreference(), c.stored) << "opening and closing leave the store as it was";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Form6StoredTest,
    ::testing::Values(StoredCase{"Off", "0", false}, StoredCase{"On", "1", true},
                      StoredCase{"OtherNumber", "2", false}, StoredCase{"Negative", "-1", false},
                      StoredCase{"NotANumber", "yes", false}, StoredCase{"Empty", "", false},
                      StoredCase{"Fraction", "1.5", false}, StoredCase{"TooLarge", "99999999999999999999", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form6Test, YesStoresOnAndLeavesTheBoxUntilTheNextOpening)
{
    ASSERT_NE(open(), nullptr);
    answerWarning(MsgAnswer::Yes);
    machine.boxes().expect(kTurnedOn);
    clickSet();
    EXPECT_EQ(storedPreference(), QStringLiteral("1"));
    EXPECT_FALSE(check1()->isChecked());
    EXPECT_NE(form6(), nullptr) << "the window stays open";
    EXPECT_FALSE(form1->isEnabled());

    form6()->close();
    EXPECT_TRUE(form1->isEnabled());
    ASSERT_NE(open(), nullptr);
    EXPECT_TRUE(check1()->isChecked());
}

TEST_F(Form6Test, NoStoresOffAndClearsTheBox)
{
    storePreference(QStringLiteral("1"));
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(check1()->isChecked());
    answerWarning(MsgAnswer::No);
    machine.boxes().expect(kNoChanges);
    clickSet();
    EXPECT_EQ(storedPreference(), QStringLiteral("0"));
    EXPECT_FALSE(check1()->isChecked());
    EXPECT_NE(form6(), nullptr);
}

TEST_F(Form6Test, UsersClickWarnsEachTimeAndSavesNothing)
{
    storePreference(QStringLiteral("0"));
    ASSERT_NE(open(), nullptr);
    machine.boxes().expect(kReadAll, MsgIcon::Critical);
    QTest::mouseClick(check1(), Qt::LeftButton);
    EXPECT_TRUE(check1()->isChecked());
    machine.boxes().expect(kReadAll, MsgIcon::Critical);
    QTest::keyClick(check1(), Qt::Key_Space);
    EXPECT_FALSE(check1()->isChecked());
    machine.boxes().expect(kReadAll, MsgIcon::Critical);
    QTest::mouseClick(check1(), Qt::LeftButton);
    form6()->close();
    EXPECT_EQ(storedPreference(), QStringLiteral("0"));
}

TEST_F(Form6Test, StoreThatCannotBeWrittenIsReportedInsteadOfSuccess)
{
    ASSERT_NE(open(), nullptr);
    breakTheStore();
    answerWarning(MsgAnswer::Yes);
    machine.boxes().expectStartingWith(kSaveFailed, MsgIcon::Critical);
    clickSet();
    EXPECT_EQ(machine.boxes().shown().size(), 2);
}

TEST_F(Form6Test, FailedOffIsReportedAndTheBoxKeepsItsState)
{
    storePreference(QStringLiteral("1"));
    ASSERT_NE(open(), nullptr);
    breakTheStore();
    answerWarning(MsgAnswer::No);
    machine.boxes().expectStartingWith(kSaveFailed, MsgIcon::Critical);
    clickSet();
    EXPECT_EQ(machine.boxes().shown().size(), 2);
    EXPECT_TRUE(check1()->isChecked()) << "the box still shows the preference that was kept";
}

} // namespace
} // namespace velmora
