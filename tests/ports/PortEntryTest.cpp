#include "ports/PortEntry.h"
#include "platform/SequentialInput.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(PortEntryTest, ReadsTheLastItemOfTheKeyWithFieldsFromItsOwnLine)
{
    const struct {
        QByteArray file;
        const char* key;
        PortEntry expected; // as stored: letters
    } cases[] = {
        {"[Ports]\r\nCOM1:=9600,n\r\nCOM2:=4800,e,7,2,p\r\n", "COM1:", {"9600", "n", "", "", ""}},
        {"[Ports]\r\nCOM1:=9600\r\n[Other]\r\nCOM1:=2400,o,7,2,p\r\n", "COM1:", {"2400", "o", "7", "2", "p"}},
        {"[Ports]\r\ncom1:=9600,n,8,1,x\r\n", "COM1:", {}},
        {"[Ports]\r\nCOM4:=9600,n,8,1, \r\n", "COM4:", {"9600", "n", "8", "1", ""}},
        {"[Ports]\r\nCOM1=:9600\r\n", "COM1=", {}}, // a key that holds "=" never matches
    };
    for (const auto& c : cases) {
        SequentialInput input(c.file);
        int skipped = 0;
        EXPECT_EQ(readPortEntry(input, c.key, [&] { ++skipped; }), c.expected) << c.file.constData();
        EXPECT_GT(skipped, 0);
    }
}

TEST(PortEntryTest, LettersAndListTextsMapBothWays)
{
    using Pairs = std::initializer_list<std::pair<const char*, const char*>>;
    for (const auto& [letter, text] :
         Pairs{{"n", "None"}, {"e", "Even"}, {"o", "Odd"}, {"m", "Mark"}, {"s", "Space"}}) {
        EXPECT_EQ(parityTextForLetter(letter), text);
        EXPECT_EQ(parityLetterForText(text), letter);
    }
    for (const auto& [letter, text] : Pairs{{"p", "Hardware"}, {"x", "Xon / Xoff"}, {" ", "None"}}) {
        EXPECT_EQ(flowTextForLetter(letter), text);
        EXPECT_EQ(flowLetterForText(text), letter);
    }
    EXPECT_EQ(parityTextForLetter("N"), "N"); // an unknown letter shows as it stands
    EXPECT_EQ(flowTextForLetter("q"), "None");
    const std::pair<const char*, std::optional<QString>> ports[] = {
        {"Com Port 4", "COM4:"}, {"Com Port 5", std::nullopt}, {"com port 1", std::nullopt}};
    for (const auto& [name, key] : ports)
        EXPECT_EQ(portKeyForName(name), key) << name;
}

TEST(PortEntryTest, TheListTextsGiveTheStoredEntryOrTheFirstRefusal)
{
    const struct {
        PortEntry texts;
        const char* refusalOrStored;
    } cases[] = {
        {{"19200", "Even", "7", "1.5", "Hardware"}, "19200,e,7,1.5,p"},
        {{"9600", "None", "8", "1", "None"}, "9600,n,8,1, "},
        {{"9600", "Parity?", "8", "1", "xon"}, "9600,,8,1,"},
        {{"", "", "", "", ""}, "Must Select a Bit Rate"},
        {{"9600", "", "8", "1", "None"}, "Must Select a Parity"},
        {{"9600", "None", "", "", "None"}, "Must Select a Data Bit"},
        {{"9600", "None", "8", "", "None"}, "Must Select a Stop Bit"},
        {{"9600", "None", "8", "1", ""}, "Must Select a Flow Control"},
    };
    for (const auto& c : cases) {
        const Result<PortEntry> entry = portEntryFromListTexts(c.texts);
        EXPECT_EQ(entry ? joinPortEntry(*entry) : entry.reason(), c.refusalOrStored);
    }
}

} // namespace
} // namespace velmora
