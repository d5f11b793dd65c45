#include "profile/SequentialInput.h"
#include "machine/MachineFolder.h"

#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using Items = std::vector<QByteArray>;

// Name, input, and its items; "|" marks an item that ended its line (or the input).
const std::tuple<const char*, QByteArray, Items> kItems[] = {
    {"PortLine", "COM1:=9600,n,8,1,x\r\nLPT1:=\r\n", {"COM1:=9600", "n", "8", "1", "x|", "LPT1:=|"}},
    {"QuotedWithComma", "\"a, b\",c\r\n", {"a, b", "c|"}},
    {"TextAfterClosingQuote", "\"abc\" x,y\r\n", {"abc", "x", "y|"}},
    {"QuotedAcrossLines", "\"ab\r\ncd\",e\r\n", {"ab\r\ncd", "e|"}},
    {"QuotedEndsTheLine", "\"a\" \n\"b\"\t", {"a|", "b|"}},
    {"QuoteInsideUnquotedItem", "a \"b\" c,d", {"a \"b\" c", "d|"}},
    {"UnclosedQuote", "\"abc, def\r\nghi", {"abc, def\r\nghi|"}},
    {"CrEndsALine", "a\rb\r", {"a|", "b|"}},
    {"LfCrIsTwoLineEnds", "a\n\rb", {"a|", "|", "b|"}},
    {"EmptyField", "a,,b\r\n", {"a", "", "b|"}},
    {"NoFinalLineEnd", "abc", {"abc|"}},
    {"TrailingBlanksAfterLastLine", "abc\r\n   ", {"abc|", "|"}},
    {"TrailingBlankLine", "abc\r\n\r\n", {"abc|", "|"}},
    {"CtrlZEndsTheInput", "abc\x1Ajunk,more\r\n", {"abc|"}},
    {"CtrlZInsideQuotes", "\"ab\x1A\"", {"ab|"}},
    {"BlanksAroundItemDropped", "\tval\t ,x", {"val", "x|"}},
    {"NulsLeftOut", QByteArray("a\0b,\0\0\r\n\0 c", 11), {"ab", "|", "c|"}},
    {"Empty", "", {}},
};

// Read as a program reads, until the end is reported: the end is reported exactly after the
// last item, not before and not after.
TEST(SequentialItems, ReadsTheItemsThenRunsOut)
{
    for (const auto& [name, data, expected] : kItems) {
        SCOPED_TRACE(name);
        SequentialInput input(data);
        Items items;
        while (!input.atEnd() && qsizetype(items.size()) <= data.size()) {
            items.push_back(input.next().value_or("<no item>"));
            items.back() += input.lastItemEndedLine() ? "|" : "";
        }
        EXPECT_EQ(items, expected);
        EXPECT_FALSE(input.next());
    }
}

// A file of the machine is read item by item; what cannot be read is refused with the reason.
TEST(SequentialInput, OpensAFileOfTheMachineOrSaysWhyNot)
{
    QTemporaryDir dir;
    const MachineFolder machine(dir.path());
    ASSERT_TRUE(testing::writeBytes(machine.driveC() + "/WINDOWS/WIN.INI", "[Ports]\r\nCOM2:=9600\r\n"));
    Result<SequentialInput> input = SequentialInput::open(machine, u"C:\\Windows\\win.ini");
    ASSERT_TRUE(input) << input.reason().toStdString();
    EXPECT_EQ(input->next(), "[Ports]");
    EXPECT_TRUE(SequentialInput::open(machine, u"c:\\windows\\x.ini").reason().contains("does not exist"));
}

} // namespace
} // namespace velmora
