#include "bandwidth/Form6.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>

#include <optional>

namespace velmora {
namespace {

const QString kKey = QStringLiteral("Settings/DiduvazovAdiru");
const QString kReadAll = QStringLiteral("I Hope you have read ALL of the text in this window!!!!!!!!");

// The user's own store (CTest gives this program a config home of its own), as the program
// keeps it: organisation and application "Velmora".
QString settingsFile()
{
    return QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).fileName();
}

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

class Form6Test : public testing::WindowTest {
protected:
    void SetUp() override
    {
        QDir(settingsFile()).removeRecursively();
        QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).remove(kKey);
        ASSERT_EQ(storedPreference(), std::nullopt);
    }
    void TearDown() override { QDir(settingsFile()).removeRecursively(); }

    Form6* open() { return openFrom<Form6>("cmdBandwidth"); }
    QCheckBox* check1() { return control<QCheckBox>("Check1"); }
    // Set, answering its warning; then the box a test expects after it.
    void clickSet(MsgAnswer warningAnswer, const QString& then)
    {
        machine.boxes().expect(
            QStringLiteral("WARNING!!!!: This option may not work on your modem! Infact, it may "
                           "Damage your modem by overloading it, and it may overheat!"),
            MsgIcon::Critical, MsgButtons::YesNo, warningAnswer);
        machine.boxes().expect(then);
        click("Command1");
    }
};

TEST_F(Form6Test, FirstOpeningShowsOffAndWritesNothing)
{
    ASSERT_NE(open(), nullptr);
    EXPECT_FALSE(check1()->isChecked());
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
    window->close();
    EXPECT_EQ(storedPreference(), c.stored) << "opening and closing leave the store as it was";
}

INSTANTIATE_TEST_SUITE_P(Texts, Form6StoredTest,
                         ::testing::Values(StoredCase{"On", "1", true}, StoredCase{"LeadingZero", "01", true},
                                           StoredCase{"OtherNumber", "2", false},
                                           StoredCase{"NotANumber", "yes", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form6Test, YesStoresOnAndLeavesTheBoxUntilTheNextOpening)
{
    ASSERT_NE(open(), nullptr);
    clickSet(MsgAnswer::Yes, QStringLiteral("Diduvazov Adiru has been turned on!"));
    EXPECT_EQ(storedPreference(), QStringLiteral("1"));
    EXPECT_FALSE(check1()->isChecked());
    EXPECT_NE(loaded<Form6>(), nullptr) << "the window stays open";

    window->close();
    ASSERT_NE(open(), nullptr);
    EXPECT_TRUE(check1()->isChecked());
}

TEST_F(Form6Test, NoStoresOffAndClearsTheBox)
{
    storePreference(QStringLiteral("1"));
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(check1()->isChecked());
    clickSet(MsgAnswer::No, QStringLiteral("No changes were made!"));
    EXPECT_EQ(storedPreference(), QStringLiteral("0"));
    EXPECT_FALSE(check1()->isChecked());
    EXPECT_NE(loaded<Form6>(), nullptr);
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
    window->close();
    EXPECT_EQ(storedPreference(), QStringLiteral("0"));
}

} // namespace
} // namespace velmora
