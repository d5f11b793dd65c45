#include "support/WindowTest.h"

#include <QComboBox>
#include <QTest>

namespace velmora {
namespace {

const QString kWinIni = QStringLiteral("WINDOWS/WIN.INI");

// How the user ends what they did in a list.
enum class Ending { Enter, Down };

struct PickCase {
    const char* name;
    const char* list;
    const char* typed; // nullptr: the list as the window loaded it
    Ending ending;
    const char* listShows;
    const char* rateShows; // the speed box, empty before
    bool picked;           // the port list's Click ran
};

class ListPickTest : public testing::WindowTest, public ::testing::WithParamInterface<PickCase> {};

// Only choosing an item, with the mouse or the arrow keys, is a pick; typed text never is,
// however the typing ends.
TEST_P(ListPickTest, OnlyChoosingAnItemIsAPick)
{
    const PickCase& c = GetParam();
    machine.writeFile(kWinIni, "[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=2400,e,7,2,p\r\n");
    mainWindow();
    auto* list = control<QComboBox>(c.list);
    ASSERT_NE(list, nullptr);
    if (c.typed)
        type(c.list, c.typed);
    list->setFocus();
    switch (c.ending) {
    case Ending::Enter:
        QTest::keyClick(list, Qt::Key_Return);
        break;
    case Ending::Down:
        QTest::keyClick(list, Qt::Key_Down);
        break;
    }
    EXPECT_EQ(shown(c.list).toStdString(), c.listShows);
    EXPECT_EQ(shown("comBps").toStdString(), c.rateShows);
    EXPECT_EQ(control("cmdApplyCom")->isEnabled(), c.picked);
}

INSTANTIATE_TEST_SUITE_P(Endings, ListPickTest,
                         ::testing::Values(PickCase{"PortNameThenEnter", "cmbCommPorts", "Com Port 2",
                                                    Ending::Enter, "Com Port 2", "", false},
                                           PickCase{"DownFromThePromptPicksTheFirstPort", "cmbCommPorts",
                                                    nullptr, Ending::Down, "Com Port 1", "9600", true},
                                           PickCase{"DownFromAnEmptyListGivesTheFirstItem", "comBps", nullptr,
                                                    Ending::Down, "110", "110", false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
