#include "platform/SequentialInput.h"
#include "platform/MachineFolder.h"

#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace velmora {
namespace {

using Items = std::vector<QByteArray>;

// Reads every item; the guard stops a reader that would never run out.
Items readAll(SequentialInput& input, qsizetype guard)
{
    Items items;
    while (const std::optional<QByteArray> item = input.next()) {
        items.push_back(*item);
        if (qsizetype(items.size()) > guard)
            break;
    }
    return items;
}

struct ItemCase {
    const char* name;
    QByteArray data;
    Items items;
};

class SequentialItems : public ::testing::TestWithParam<ItemCase> {};

// Read as a program reads, until the end is reported: the end is reported exactly after the
// last item, not before and not after.
TEST_P(SequentialItems, ReadsTheItemsThenRunsOut)
{
    const ItemCase& c = GetParam();
    SequentialInput input(c.data);
    Items items;
    while (!input.atEnd() && qsizetype(items.size()) <= c.data.size())
        items.push_back(input.next().value_or("<no item>"));
    EXPECT_EQ(items, c.items);
    EXPECT_FALSE(input.next());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SequentialItems,
    ::testing::Values(ItemCase{"PortLine",
                               "COM1:=9600,n,8,1,x\r\nLPT1:=\r\n",
                               {"COM1:=9600", "n", "8", "1", "x", "LPT1:="}},
                      ItemCase{"QuotedWithComma", "\"a, b\",c\r\n", {"a, b", "c"}},
                      ItemCase{"QuoteRightAfterQuote", "\"1,2\"\"X\"\r\n", {"1,2", "X"}},
                      ItemCase{"TextAfterClosingQuote", "\"abc\" x,y\r\n", {"abc", "x", "y"}},
                      ItemCase{"QuotedAcrossLines", "\"ab\r\ncd\",e\r\n", {"ab\r\ncd", "e"}},
                      ItemCase{"QuoteInsideUnquotedItem", "a \"b\" c,d", {"a \"b\" c", "d"}},
                      ItemCase{"UnclosedQuote", "\"abc, def\r\nghi", {"abc, def\r\nghi"}},
                      ItemCase{"CrEndsALine", "a\rb\r", {"a", "b"}},
                      ItemCase{"LfCrIsTwoLineEnds", "a\n\rb", {"a", "", "b"}},
                      ItemCase{"EmptyField", "a,,b\r\n", {"a", "", "b"}},
                      ItemCase{"NoFinalLineEnd", "abc", {"abc"}},
                      ItemCase{"TrailingBlanksAfterLastLine", "abc\r\n   ", {"abc", ""}},
                      ItemCase{"TrailingBlankLine", "abc\r\n\r\n", {"abc", ""}},
                      ItemCase{"CtrlZEndsTheInput", "abc\x1Ajunk,more\r\n", {"abc"}},
                      ItemCase{"CtrlZInsideQuotes", "\"ab\x1A\"", {"ab"}},
                      ItemCase{"BlanksAroundItemDropped", "\tval\t ,x", {"val", "x"}},
                      ItemCase{"NulsLeftOut", QByteArray("a\0b,\0\0\r\n\0 c", 11), {"ab", "", "c"}},
                      ItemCase{"Empty", "", {}}),
    [](const ::testing::TestParamInfo<ItemCase>& info) { return std::string(info.param.name); });

TEST(SequentialInput, TellsWhetherAnItemEndedItsLine)
{
    SequentialInput input("a,b\r\n\"c\" d,\"e\"\nf");
    std::vector<std::pair<QByteArray, bool>> seen;
    while (const std::optional<QByteArray> item = input.next())
        seen.emplace_back(*item, input.lastItemEndedLine());
    const std::vector<std::pair<QByteArray, bool>> expected{{"a", false}, {"b", true}, {"c", false},
                                                            {"d", false}, {"e", true}, {"f", true}};
    EXPECT_EQ(seen, expected);
}

TEST(SequentialInput, SurvivesHostileData)
{
    SequentialInput crOnly(QByteArray(100000, '\r'));
    EXPECT_EQ(readAll(crOnly, 200000).size(), 100000u);
}

class SequentialOpen : public ::testing::Test {
protected:
    QTemporaryDir dir;
    MachineFolder machine{dir.path()};
};

// A file of the machine is read item by item; what cannot be read is refused with the reason.
TEST_F(SequentialOpen, ReadsAFileOfTheMachineOrSaysWhyNot)
{
    ASSERT_TRUE(
        testing::writeBytes(machine.driveC() + "/WINDOWS/WIN.INI", "[Ports]\r\nCOM2:=9600,n,8,1,x\r\n"));
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"C:\\Windows\\win.ini", nullptr},
        {u"c:\\windows\\missing.ini", "does not exist"},
    };
    for (const auto& [path, why] : cases) {
        Result<SequentialInput> input = SequentialInput::open(machine, QStringView(path));
        const QString& reason = input.reason();
        EXPECT_EQ(input.ok(), why == nullptr) << reason.toStdString();
        if (input) {
            EXPECT_EQ(readAll(*input, 10), (Items{"[Ports]", "COM2:=9600", "n", "8", "1", "x"}));
        } else {
            EXPECT_TRUE(reason.contains(QLatin1String(why))) << reason.toStdString();
        }
    }
}

} // namespace
} // namespace velmora
