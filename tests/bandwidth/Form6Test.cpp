#include "bandwidth/Form6.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QSettings>

namespace velmora {
namespace {

using Form6Test = testing::WindowTest;

// Opening shows the stored preference without a word; Set asks first, stores on or off and
// clears the box (the openings of the other rows read what it stored); a user's tick only warns, and
// closing stores nothing. The store is the test run's own (see support/main.cpp).
TEST_F(Form6Test, ShowsAndStoresThePreference)
{
    const QString key = "Settings/DiduvazovAdiru";
    const struct {
        const char* stored;               // before the window opens; nullptr: nothing
        bool ticked;                      // as it opens
        std::optional<MsgAnswer> warning; // Set clicked, the warning answered so
        const char *then, *after;         // the message after the warning; stored afterwards
    } cases[] = {
        {nullptr, false, std::nullopt, nullptr, "(none)"},
        {"01", true, std::nullopt, nullptr, "01"},
        {nullptr, false, MsgAnswer::Yes, "Diduvazov Adiru has been turned on!", "1"},
        {"1", true, MsgAnswer::No, "No changes were made!", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        QSettings store("Velmora", "Velmora");
        c.stored ? store.setValue(key, c.stored) : store.remove(key);
        store.sync();
        ASSERT_NE(openFrom<Form6>("cmdBandwidth"), nullptr);
        auto* check1 = control<QCheckBox>("Check1");
        EXPECT_EQ(check1->isChecked(), c.ticked);
        if (c.warning) {
            machine.boxes.expect("WARNING!!!!: This option may not work on your modem! Infact, it may Damage "
                                 "your modem by overloading it, and it may overheat!",
                                 MsgIcon::Critical, MsgButtons::YesNo, *c.warning);
            clickExpecting("Command1", c.then);
            EXPECT_TRUE(!check1->isChecked() && loaded<Form6>()) << "the box cleared, the window open";
        } else if (!c.ticked) {
            machine.boxes.expect("I Hope you have read ALL of the text in this window!!!!!!!!",
                                 MsgIcon::Critical);
            QTest::mouseClick(check1, Qt::LeftButton);
            EXPECT_TRUE(check1->isChecked());
        }
        window->close();
        store.sync();
        EXPECT_EQ(store.value(key, "(none)").toString(), c.after);
    }
}

} // namespace
} // namespace velmora
