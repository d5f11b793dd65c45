#include "config/IniHelpers.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct ParseCase {
    const char* name;
    QString in;
    qint16 offset;
    QString delimiter;
    QString expected;
};

const QString kLeft = QString(QChar(0x201C));
const QString kRight = QString(QChar(0x201D));

class ParseStringTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseStringTest, ReturnsTheField)
{
    const ParseCase& c = GetParam();
    EXPECT_EQ(mfncParseString(c.in, c.offset, c.delimiter).toStdString(), c.expected.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ParseStringTest,
    ::testing::Values(ParseCase{"FirstField", "9600,n,8,1", 1, ",", "9600"},
                      ParseCase{"MiddleField", "9600,n,8,1", 3, ",", "8"},
                      ParseCase{"BeyondTheLast", "9600,n,8,1", 5, ",", ""},
                      ParseCase{"EmptyBetweenDelimiters", "a,,b", 2, ",", ""},
                      ParseCase{"AfterTrailingDelimiter", "a,b,", 3, ",", ""},
                      ParseCase{"NoDelimiter", "abc", 1, ",", "abc"},
                      ParseCase{"FieldZero", "abc", 0, ",", ""},
                      ParseCase{"NegativeField", "a,b", -1, ",", ""},
                      ParseCase{"TypographicQuotesKeepDelimiter", "x," + kLeft + "y,z" + kRight + ",w", 2,
                                ",", kLeft + "y,z" + kRight},
                      ParseCase{"MixedQuotesPair", "a," + kLeft + "b,c\",d", 3, ",", "d"},
                      ParseCase{"LongDelimiterNeverSplits", "a,b", 1, ",,", "a,b"},
                      ParseCase{"UnclosedQuoteLastCharDelimiter", "a,\"b,", 2, ",", ""},
                      ParseCase{"BlanksKept", " a , b ", 2, ",", " b "},
                      ParseCase{"QuoteAsDelimiterCountsWhereItCloses", "a\"b\"c", 2, "\"", "c"}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
