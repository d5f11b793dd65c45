#include "platform/RegistryFile.h"
#include "platform/RegistrySeed.h"

#include "support/FileFixtures.h"

#include <gtest/gtest.h>

namespace velmora::regfile {
namespace {

struct Decoded {
    QByteArray name;
    quint32 type = 0;
    QByteArray data;
};

// The one value of a key block holding the given value line.
Decoded decodeOne(const QByteArray& valueLine)
{
    const QByteArray text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n" + valueLine + "\r\n\r\n";
    Layout layout;
    Decoded d;
    if (const auto error = parseText(text, layout)) {
        ADD_FAILURE() << error->what.toStdString();
        return d;
    }
    const auto lines = layout.valuesOf(layout.blocks.at(0));
    EXPECT_EQ(lines.size(), 1u);
    const QByteArrayView blockText =
        QByteArrayView(text).sliced(layout.blocks[0].start, layout.blocks[0].length);
    d.name = valueName(blockText, lines[0]);
    EXPECT_TRUE(decodeData(blockText, lines[0], d.type, d.data));
    return d;
}

// ---- reading every value form ----

struct FormCase {
    const char* label;
    QByteArray line, name;
    quint32 type;
    QByteArray data;
};

class ValueForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(ValueForms, DecodeToTheStoredBytes)
{
    const Decoded value = decodeOne(GetParam().line);
    EXPECT_EQ(value.name, GetParam().name);
    EXPECT_EQ(value.type, GetParam().type);
    EXPECT_EQ(value.data, GetParam().data);
}

// Forms as regedit and hand edits leave them; the forms the writer makes are read back below.
INSTANTIATE_TEST_SUITE_P(
    Regedit4, ValueForms,
    ::testing::Values(
        FormCase{"TextEscapes", R"("Path"="C:\\WINDOWS\\\"x\"")", "Path", 1, R"(C:\WINDOWS\"x")"},
        FormCase{"OtherBackslashesStay", R"("A"="a\nb\q")", "A", 1, R"(a\nb\q)"},
        FormCase{"EscapedQuoteAtTheEnd", R"("A"="\\\"")", "A", 1, R"(\")"},
        FormCase{"ShortDword", R"("D"=dword:1)", "D", 4, QByteArray("\x01\0\0\0", 4)},
        FormCase{"UpperCaseDword", R"("D"=DWORD:FFFFFFFE)", "D", 4, QByteArray("\xfe\xff\xff\xff", 4)},
        FormCase{"SingleDigitItems", R"("B"=hex:1,a)", "B", 3, QByteArray("\x01\x0a", 2)},
        FormCase{"TypeInHex", R"("Q"=hex(b):01,00,00,00,00,00,00,00)", "Q", 11,
                 QByteArray("\x01\0\0\0\0\0\0\0", 8)},
        FormCase{"BlanksAroundEquals", R"("A" = "b")", "A", 1, "b"},
        FormCase{"EscapedName", R"("a\"b\\c"="d")", R"(a"b\c)", 1, "d"},
        FormCase{"AnsiName", "\"Caf\xe9 ]\"=\"\xe9t\xe9\"", "Caf\xe9 ]", 1, "\xe9t\xe9"},
        FormCase{"CommentAfterValue", R"("A"="b" ; set by setup)", "A", 1, "b"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- damaged files ----

struct DamageCase {
    const char* label;
    QByteArray text;
    int line;
    const char* reason;
};

class DamagedText : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedText, IsRefusedWithItsLine)
{
    const DamageCase& c = GetParam();
    Layout layout;
    const auto error = parseText(c.text, layout);
    ASSERT_EQ(bool(error), c.line != 0);
    if (!error)
        return;
    EXPECT_EQ(error->line, c.line);
    EXPECT_TRUE(error->what.contains(QLatin1String(c.reason))) << error->what.toStdString();
}

const QByteArray kGood = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Modem]\r\n\"Model\"=\"V.90\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Regedit4, DamagedText,
    ::testing::Values(
        DamageCase{"WrongHeader", "REGEDIT5\r\n\r\n", 1, "REGEDIT4"},
        DamageCase{"TruncatedText", kGood + "\"Manufacturer\"=\"U.S. Rob", 5, "closing quote"},
        DamageCase{"TruncatedKeyLine", kGood + "\r\n[HKEY_LOCAL_MACH", 6, "\"]\""},
        DamageCase{"BrokenHexList", kGood + "\"B\"=hex:00,0g,01\r\n", 5, "broken hex list"},
        DamageCase{"BrokenHexType", kGood + "\"B\"=hex(zz):00\r\n", 5, "hex(n)"},
        DamageCase{"UnclosedHexType", kGood + "\"B\"=hex(2:00\r\n", 5, "hex(n)"},
        DamageCase{"ContinuationAtEnd", kGood + "\"B\"=hex:00,01,\\\r\n", 5, "continuation line is missing"},
        DamageCase{"ContinuationIntoBlankLine", kGood + "\"B\"=hex:00,\\\r\n\r\n\"C\"=\"d\"\r\n", 6,
                   "continuation line is empty"},
        DamageCase{"ContinuationWithoutComma", kGood + "\"v\"=hex:12,3\\\r\n  4\r\n", 5, "follow a comma"},
        DamageCase{"ContinuationOfOnlyBackslash", kGood + "\"v\"=hex:12,\\\r\n  \\\r\n  34\r\n", 6,
                   "holds only"},
        DamageCase{"BinaryJunk", kGood + "\"A\"=\"b\"\r\nPK\x03\x04" + QByteArray("\0\x01\xff", 3), 6,
                   "binary"},
        DamageCase{"ValueBeforeFirstKey", "REGEDIT4\r\n\r\n\"A\"=\"b\"\r\n", 3, "before the first key"},
        DamageCase{"StrayLine", kGood + "Model=V.90\r\n", 5, "neither a key"},
        DamageCase{"NineDigitDword", kGood + "\"D\"=dword:000000001\r\n", 5, "dword"},
        DamageCase{"UnknownData", kGood + "\"D\"=str:\"x\"\r\n", 5, "neither text"},
        DamageCase{"TextThenJunk", kGood + "\"A\"=\"b\"c\r\n", 5, "after the text"},
        DamageCase{"MissingEquals", kGood + "\"A\" \"b\"\r\n", 5, "\"=\""},
        DamageCase{"ValueDeletion", kGood + "\"Model\"=-\r\n", 5, "deleting values"},
        DamageCase{"KeyDeletion", kGood + "\r\n[-HKEY_LOCAL_MACHINE\\Modem]\r\n", 6, "deleting keys"},
        DamageCase{"EmptyKey", kGood + "[]\r\n", 5, "without a key"},
        // Line 0: no damage. A last line of only a carriage return is blank.
        DamageCase{"OnlyACarriageReturnAtTheEnd", kGood + "\r", 0, ""}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- writing ----

struct FormatCase {
    const char* label;
    quint32 type;
    QByteArray data;
    QByteArray text;
};

class DataFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DataFormat, WritesTheFormThatReadsBackTheSameBytes)
{
    const FormatCase& c = GetParam();
    const QByteArray formatted = formatData(c.type, c.data, 4, "\r\n");
    EXPECT_EQ(formatted, c.text);
    const Decoded value = decodeOne("\"V\"=" + formatted);
    EXPECT_EQ(value.type, c.type);
    EXPECT_EQ(value.data, c.data);
}

INSTANTIATE_TEST_SUITE_P(
    Regedit4, DataFormat,
    ::testing::Values(FormatCase{"TextEscapes", 1, R"(C:\Program Files\"x")",
                                 R"("C:\\Program Files\\\"x\"")"},
                      FormatCase{"TextWithTerminator", 1, QByteArray("576\0", 4), "hex(1):35,37,36,00"},
                      FormatCase{"TextWithLineBreaks", 1, "a\r\nb\nc\r", "\"a\r\nb\nc\r\""},
                      FormatCase{"TopBitDword", 4, QByteArray("\0\0\0\x80", 4), "dword:80000000"},
                      FormatCase{"ShortDword", 4, QByteArray("\x01\x02", 2), "hex(4):01,02"},
                      FormatCase{"EmptyBinary", 3, "", "hex:"},
                      FormatCase{"LargeType", 0x20, "\x01", "hex(20):01"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegistryFile, NamesFoldWindows1252LettersOnly)
{
    EXPECT_TRUE(namesEqual("\xc4rger \x8a\x9f", "\xe4RGER \x9a\xff"));
    EXPECT_FALSE(namesEqual("\xd7", "\xf7")); // the multiplication and division signs are no letters
    EXPECT_FALSE(namesEqual("a", "a "));
}

// Every value of a real export, and of the seed, is written back exactly as regedit wrote it:
// so a value changed and changed back leaves the file as it was.
void expectRegeneratedLinesMatch(const QByteArray& text)
{
    Layout layout;
    const auto error = parseText(text, layout);
    ASSERT_FALSE(error) << error->line << ": " << error->what.toStdString();
    int values = 0;
    for (const Block& block : layout.blocks) {
        const QByteArrayView blockText = QByteArrayView(text).sliced(block.start, block.length);
        for (const ValueLine& line : layout.valuesOf(block)) {
            quint32 type = 0;
            QByteArray data;
            ASSERT_TRUE(decodeData(blockText, line, type, data));
            const QByteArray prefix = formatNamePrefix(valueName(blockText, line));
            const QByteArray regenerated = prefix + formatData(type, data, prefix.size(), layout.lineBreak);
            const QByteArrayView original =
                blockText.sliced(line.lineStart, line.lineLength - line.breakLength);
            EXPECT_EQ(regenerated, original.toByteArray());
            ++values;
        }
    }
    EXPECT_GT(values, 30);
}

TEST(RegistryFile, RealExportAndSeedRegenerateLineForLine)
{
    const QByteArray seed = seedSystemReg();
    EXPECT_TRUE(seed.startsWith("REGEDIT4\r\n\r\n"));
    EXPECT_FALSE(seed.contains("\r\r"));
    EXPECT_EQ(seed.count('\n'), seed.count("\r\n"));
    expectRegeneratedLinesMatch(seed);
    expectRegeneratedLinesMatch(testing::win98Excerpt());
}

} // namespace
} // namespace velmora::regfile
