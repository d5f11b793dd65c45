#include "bandwidth/Form6.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QDir>
#include <QSettings>
#include <QTest>

#include <optional>

namespace velmora {
namespace {

const QString kKey = QStringLiteral("Settings/DiduvazovAdiru");

// The user's own store as the program keeps it (CTest gives this program a config home of its own).
std::optional<QString> storedPreference()
{
    const QSettings store(QStringLiteral("Velmora"), QStringLiteral("Velmora"));
    return store.contains(kKey) ? std::optional<QString>(store.value(kKey).toString()) : std::nullopt;
}

struct SetCase {
    const char* name;
    std::optional<QString> stored;    // before the window opens
    bool ticked;                      // as it opens
    std::optional<MsgAnswer> warning; // Set clicked, the warning answered so
    QString then;                     // the message after the warning
    std::optional<QString> after;     // stored afterwards
};

class Form6Test : public testing::WindowTest, public ::testing::WithParamInterface<SetCase> {
protected:
    void SetUp() override
    {
        QDir(settingsFile()).removeRecursively();
        QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).remove(kKey);
    }
    void TearDown() override { QDir(settingsFile()).removeRecursively(); }
    static QString settingsFile()
    {
        return QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).fileName();
    }
    QCheckBox* check1() { return control<QCheckBox>("Check1"); }
};

// Opening shows the stored preference without a word; Set asks first, stores on or off and
// clears the box (it shows the new state at the next opening); closing stores nothing.
TEST_P(Form6Test, ShowsAndStoresThePreference)
{
    const SetCase& c = GetParam();
    if (c.stored) {
        QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).setValue(kKey, *c.stored);
    }
    ASSERT_NE(openFrom<Form6>("cmdBandwidth"), nullptr);
    EXPECT_EQ(check1()->isChecked(), c.ticked);
    if (c.warning) {
        machine.boxes().expect(
            QStringLiteral("WARNING!!!!: This option may not work on your modem! Infact, it may "
                           "Damage your modem by overloading it, and it may overheat!"),
            MsgIcon::Critical, MsgButtons::YesNo, *c.warning);
        machine.boxes().expect(c.then);
        click("Command1");
        EXPECT_FALSE(check1()->isChecked());
        EXPECT_NE(loaded<Form6>(), nullptr) << "the window stays open";
    }
    window->close();
    EXPECT_EQ(storedPreference(), c.after);
    ASSERT_NE(openFrom<Form6>("cmdBandwidth"), nullptr);
    EXPECT_EQ(check1()->isChecked(), c.warning ? c.after == QStringLiteral("1") : c.ticked);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Form6Test,
    ::testing::Values(SetCase{"NothingStored", std::nullopt, false, std::nullopt, {}, std::nullopt},
                      SetCase{"LeadingZero", "01", true, std::nullopt, {}, "01"},
                      SetCase{"YesStoresOn", std::nullopt, false, MsgAnswer::Yes,
                              QStringLiteral("Diduvazov Adiru has been turned on!"), "1"},
                      SetCase{"NoStoresOff", "1", true, MsgAnswer::No,
                              QStringLiteral("No changes were made!"), "0"}),
    [](const auto& info) { return std::string(info.param.name); });

using Form6Click = Form6Test;

TEST_F(Form6Click, UsersClickWarnsAndSavesNothing)
{
    ASSERT_NE(openFrom<Form6>("cmdBandwidth"), nullptr);
    const QString readAll = QStringLiteral("I Hope you have read ALL of the text in this window!!!!!!!!");
    machine.boxes().expect(readAll, MsgIcon::Critical);
    QTest::mouseClick(check1(), Qt::LeftButton);
    EXPECT_TRUE(check1()->isChecked());
    window->close();
    EXPECT_EQ(storedPreference(), std::nullopt);
}

} // namespace
} // namespace velmora
