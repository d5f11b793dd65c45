#include "config/IniHelpers.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(ParseStringTest, ReturnsTheField)
{
    const QString left = QString(QChar(0x201C)), right = QString(QChar(0x201D)); // typographic quotes
    const struct {
        QString in;
        qint16 offset;
        QString delimiter, expected;
    } cases[] = {
        {"9600,n,8,1", 1, ",", "9600"},
        {"9600,n,8,1", 5, ",", ""}, // beyond the last
        {"abc", 0, ",", ""},
        {"a,b", -1, ",", ""},
        {"x," + left + "y,z" + right + ",w", 2, ",", left + "y,z" + right}, // quotes keep a delimiter
        {"a,b", 1, ",,", "a,b"},                                            // a long delimiter never splits
        {"a,\"b,", 2, ",", ""},                                             // unclosed quote
        {" a , b ", 2, ",", " b "},
        {"a\"b\"c", 2, "\"", "c"}, // a quote as delimiter counts where it closes
    };
    for (const auto& c : cases)
        EXPECT_EQ(mfncParseString(c.in, c.offset, c.delimiter).toStdString(), c.expected.toStdString())
            << c.in.toStdString() << " field " << c.offset;
}

} // namespace
} // namespace velmora
