#include "platform/AnsiCodePage.h"

#include "support/FileFixtures.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(AnsiCodePage, EveryByteSurvivesARoundTrip)
{
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    const QString text = fromAnsi(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_TRUE(isAnsiRepresentable(text));
    EXPECT_EQ(toAnsi(text), all);
}

TEST(AnsiCodePage, IsWindows1252WithItsGapsKept)
{
    // Euro, low quote, undefined 0x81 and 0x9D, curly quotes, capital Y diaeresis, the Latin-1 half.
    const QByteArray bytes = "\x80\x81\x82\x93\x94\x9D\x9F\xA0\xFF";
    const QString text = QString::fromUtf16(u"\u20AC\u0081\u201A\u201C\u201D\u009D\u0178\u00A0\u00FF");
    EXPECT_EQ(fromAnsi(bytes), text);
    EXPECT_EQ(toAnsi(text), bytes);
}

struct UnrepresentableCase {
    const char* name;
    QString text;
    QByteArray ansi;
};

class AnsiUnrepresentable : public ::testing::TestWithParam<UnrepresentableCase> {};

TEST_P(AnsiUnrepresentable, BecomesOneQuestionMarkPerCharacter)
{
    const UnrepresentableCase& c = GetParam();
    EXPECT_EQ(toAnsi(c.text), c.ansi);
    EXPECT_FALSE(isAnsiRepresentable(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnsiUnrepresentable,
    ::testing::Values(UnrepresentableCase{"Cyrillic", QStringLiteral("\u041C\u043E\u0434\u0435\u043C"),
                                          "?????"},
                      UnrepresentableCase{"EmojiSurrogatePair", QStringLiteral("a\U0001F600b"), "a?b"},
                      UnrepresentableCase{"LoneSurrogate", QString(QChar(0xD800)) + "x", "?x"}),
    [](const ::testing::TestParamInfo<UnrepresentableCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
