#include "core/AnsiCodePage.h"

#include "support/FileFixtures.h"

#include <gtest/gtest.h>

#include <numeric>

namespace velmora {
namespace {

TEST(AnsiCodePage, IsWindows1252WithItsGapsKept)
{
    QByteArray all(256, '\0');
    std::iota(all.begin(), all.end(), '\0');
    const QString text = fromAnsi(all);
    EXPECT_TRUE(text.size() == 256 && isAnsiRepresentable(text));
    EXPECT_EQ(toAnsi(text), all) << "every byte survives a round trip";
    // Euro, low quote, undefined 0x81 and 0x9D, curly quotes, capital Y diaeresis, the Latin-1 half.
    EXPECT_EQ(fromAnsi("\x80\x81\x82\x93\x94\x9D\x9F\xA0\xFF"),
              QString::fromUtf16(u"\u20AC\u0081\u201A\u201C\u201D\u009D\u0178\u00A0\u00FF"));
    // What it cannot hold becomes one question mark per character, a surrogate pair being one.
    const std::pair<QString, QByteArray> unrepresentable[] = {{QStringLiteral("a\U0001F600b"), "a?b"},
                                                              {QString(QChar(0xD800)) + "x", "?x"}};
    for (const auto& [other, ansi] : unrepresentable) {
        EXPECT_EQ(toAnsi(other), ansi);
        EXPECT_FALSE(isAnsiRepresentable(other)) << ansi.constData();
    }
}

} // namespace
} // namespace velmora
