#include "platform/AnsiCodePage.h"

#include "platform/FileFixtures.h"

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

struct CharCase {
    const char* name;
    unsigned char byte;
    char16_t character;
};

class AnsiCharacters : public ::testing::TestWithParam<CharCase> {};

TEST_P(AnsiCharacters, MapBothWays)
{
    const CharCase& c = GetParam();
    const QByteArray byte(1, char(c.byte));
    EXPECT_EQ(fromAnsi(byte), QString(QChar(c.character)));
    EXPECT_EQ(toAnsi(QString(QChar(c.character))), byte);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnsiCharacters,
    ::testing::Values(CharCase{"Euro", 0x80, u'\u20AC'}, CharCase{"UndefinedStaysControl", 0x81, 0x81},
                      CharCase{"LowQuote", 0x82, u'\u201A'}, CharCase{"UndefinedNinetyD", 0x9D, 0x9D},
                      CharCase{"LeftDoubleQuote", 0x93, u'\u201C'},
                      CharCase{"RightDoubleQuote", 0x94, u'\u201D'}, CharCase{"YDiaeresis", 0x9F, u'\u0178'},
                      CharCase{"NoBreakSpace", 0xA0, 0xA0}, CharCase{"SmallYDiaeresis", 0xFF, 0xFF}),
    [](const ::testing::TestParamInfo<CharCase>& info) { return std::string(info.param.name); });

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
    ::testing::Values(UnrepresentableCase{"LWithStroke", QStringLiteral("\u0141odz"), "?odz"},
                      UnrepresentableCase{"Cyrillic", QStringLiteral("\u041C\u043E\u0434\u0435\u043C"),
                                          "?????"},
                      UnrepresentableCase{"EmojiSurrogatePair", QStringLiteral("a\U0001F600b"), "a?b"},
                      UnrepresentableCase{"LoneSurrogate", QString(QChar(0xD800)) + "x", "?x"},
                      UnrepresentableCase{"InfinityNextToEuro", QStringLiteral("\u221E\u20AC"), "?\x80"}),
    [](const ::testing::TestParamInfo<UnrepresentableCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
