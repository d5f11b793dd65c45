#include "regedit4/RegistryFile.h"
#include "machine/RegistrySeed.h"

#include "support/FileFixtures.h"

#include <gtest/gtest.h>

namespace velmora::regfile {
namespace {

// Each value of a file: its name, type and data, and whether the writer regenerates its line
// exactly as it stands.
struct Decoded {
    QByteArray name;
    quint32 type = 0;
    QByteArray data;
    bool regenerated = false;
};
std::vector<Decoded> decodeAll(const QByteArray& text)
{
    Layout layout;
    const Result<void> parsed = parseText(text, layout);
    EXPECT_TRUE(parsed) << parsed.reason().toStdString();
    std::vector<Decoded> values;
    for (const Block& block : layout.blocks) {
        const QByteArrayView blockText = QByteArrayView(text).sliced(block.start, block.length);
        for (const ValueLine& line : layout.valuesOf(block)) {
            Decoded& d = values.emplace_back(Decoded{valueName(blockText, line), 0, {}, false});
            EXPECT_TRUE(decodeData(blockText, line, d.type, d.data));
            const QByteArray prefix = formatNamePrefix(d.name);
            d.regenerated = prefix + formatData(d.type, d.data, prefix.size(), layout.lineBreak) ==
                            blockText.sliced(line.lineStart, line.lineLength - line.breakLength);
        }
    }
    return values;
}

// Forms as regedit and hand edits leave them, and (written) the forms the writer makes, which
// must read back as the same bytes.
TEST(RegistryFile, ValueFormsDecodeToTheStoredBytes)
{
    // Line, name, type, data, and whether the writer makes this form.
    const std::tuple<const char*, QByteArray, QByteArray, quint32, QByteArray, bool> cases[] = {
        {"TextEscapes", R"("Path"="C:\\WINDOWS\\\"x\"")", "Path", 1, R"(C:\WINDOWS\"x")", true},
        {"OtherBackslashesStay", R"("A"="a\nb\q")", "A", 1, R"(a\nb\q)", false},
        {"EscapedQuoteAtTheEnd", R"("A"="\\\"")", "A", 1, R"(\")", false},
        {"ShortDword", R"("D"=dword:1)", "D", 4, QByteArray("\x01\0\0\0", 4), false},
        {"UpperCaseDword", R"("D"=DWORD:1234ABCD)", "D", 4, QByteArray("\xcd\xab\x34\x12", 4), false},
        {"SingleDigitItems", R"("B"=hex:1,a)", "B", 3, QByteArray("\x01\x0a", 2), false},
        {"TypeInHex", R"("Q"=hex(b):01,00,00,00,00,00,00,00)", "Q", 11, QByteArray("\x01\0\0\0\0\0\0\0", 8),
         true},
        {"BlanksAroundEquals", R"("A" = "b")", "A", 1, "b", false},
        {"EscapedName", R"("a\"b\\c"="d")", R"(a"b\c)", 1, "d", true},
        {"AnsiName", "\"Caf\xe9 ]\"=\"\xe9t\xe9\"", "Caf\xe9 ]", 1, "\xe9t\xe9", true},
        {"CommentAfterValue", R"("A"="b" ; set by setup)", "A", 1, "b", false},
        {"TextWithTerminator", R"("V"=hex(1):35,37,36,00)", "V", 1, QByteArray("576\0", 4), true},
        {"TextWithLineBreaks", "\"V\"=\"a\r\nb\nc\r\"", "V", 1, "a\r\nb\nc\r", true},
        {"TopBitDword", R"("V"=dword:80000000)", "V", 4, QByteArray("\0\0\0\x80", 4), true},
        {"ShortDwordWritten", R"("V"=hex(4):01,02)", "V", 4, QByteArray("\x01\x02", 2), true},
        {"EmptyBinary", R"("V"=hex:)", "V", 3, "", true},
        {"LargeType", R"("V"=hex(20):01)", "V", 0x20, "\x01", true}};
    for (const auto& [label, line, name, type, data, written] : cases) {
        SCOPED_TRACE(label);
        const auto values = decodeAll("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n" + line + "\r\n\r\n");
        ASSERT_EQ(values.size(), 1u);
        EXPECT_EQ(std::tuple(values[0].name, values[0].type, values[0].data), std::tuple(name, type, data));
        EXPECT_TRUE(values[0].regenerated || !written);
    }
}

TEST(RegistryFile, DamagedTextIsRefusedWithItsLine)
{
    const QByteArray good = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Modem]\r\n\"Model\"=\"V.90\"\r\n";
    // Text, the line of the damage (0: none) and words of the reason.
    const std::tuple<const char*, QByteArray, int, const char*> cases[] = {
        {"WrongHeader", "REGEDIT5\r\n\r\n", 1, "REGEDIT4"},
        {"TruncatedText", good + "\"Manufacturer\"=\"U.S. Rob", 5, "closing quote"},
        {"TruncatedKeyLine", good + "\r\n[HKEY_LOCAL_MACH", 6, "\"]\""},
        {"BrokenHexList", good + "\"B\"=hex:00,0g,01\r\n", 5, "broken hex list"},
        {"EmptyHexType", good + "\"B\"=hex():00\r\n", 5, "hex(n)"},
        {"NineDigitHexType", good + "\"B\"=hex(123456789):00\r\n", 5, "hex(n)"},
        {"UnclosedHexType", good + "\"B\"=hex(2:00\r\n", 5, "hex(n)"},
        {"ContinuationAtEnd", good + "\"B\"=hex:00,01,\\\r\n", 5, "continuation line is missing"},
        {"ContinuationIntoBlankLine", good + "\"B\"=hex:00,\\\r\n\r\n\"C\"=\"d\"\r\n", 6,
         "continuation line is empty"},
        {"ContinuationWithoutComma", good + "\"v\"=hex:12,3\\\r\n  4\r\n", 5, "follow a comma"},
        {"ContinuationOfOnlyBackslash", good + "\"v\"=hex:12,\\\r\n  \\\r\n  34\r\n", 6, "holds only"},
        {"BinaryJunk", good + "\"A\"=\"b\"\r\nPK\x03\x04" + QByteArray("\0\x01\xff", 3), 6, "binary"},
        {"ValueBeforeFirstKey", "REGEDIT4\r\n\r\n\"A\"=\"b\"\r\n", 3, "before the first key"},
        {"StrayLine", good + "Model=V.90\r\n", 5, "neither a key"},
        {"NineDigitDword", good + "\"D\"=dword:000000001\r\n", 5, "dword"},
        {"DwordWithoutDigitsAtTheEnd", good + "\"D\"=dword:", 5, "1 to 8 hex digits"},
        {"UnknownData", good + "\"D\"=str:\"x\"\r\n", 5, "neither text"},
        {"TextThenJunk", good + "\"A\"=\"b\"c\r\n", 5, "after the text"},
        {"MissingEquals", good + "\"A\" \"b\"\r\n", 5, "\"=\""},
        {"ValueDeletion", good + "\"Model\"=-\r\n", 5, "deleting values"},
        {"KeyDeletion", good + "\r\n[-HKEY_LOCAL_MACHINE\\Modem]\r\n", 6, "deleting keys"},
        {"EmptyKey", good + "[]\r\n", 5, "without a key"},
        // A carriage return at the very end ends its line; a blank one when alone.
        {"OnlyACarriageReturnAtTheEnd", good + "\r", 0, ""},
        {"ValueEndingInACarriageReturnAtTheEnd", good + "\"D\"=dword:00000001\r", 0, ""}};
    for (const auto& [label, text, line, reason] : cases) {
        SCOPED_TRACE(label);
        Layout layout;
        const Result<void> parsed = parseText(text, layout);
        EXPECT_EQ(parsed.line(), line);
        EXPECT_TRUE(parsed || parsed.reason().contains(QLatin1String(reason)))
            << parsed.reason().toStdString();
    }
}

TEST(RegistryFile, NamesFoldWindows1252LettersOnly)
{
    // Each range's first and last letter, and the letters outside the ranges.
    EXPECT_TRUE(namesEqual("AZ\xc0\xde\xc4rger \x8a\x8c\x8e\x9f", "az\xe0\xfe\xe4RGER \x9a\x9c\x9e\xff"));
    for (const char* pair :
         {"@`", "[{", "\xbf\xdf", "\xd7\xf7", "\xdf\xff"}) // beside the ranges: never folded together
        EXPECT_FALSE(namesEqual(QByteArrayView(pair, 1), QByteArrayView(pair + 1, 1))) << pair;
    EXPECT_FALSE(namesEqual("a", "a "));
}

// Every value of a real export, and of the seed, is written back exactly as regedit wrote it:
// so a value changed and changed back leaves the file as it was.
TEST(RegistryFile, RealExportAndSeedRegenerateLineForLine)
{
    const QByteArray seed = seedSystemReg();
    EXPECT_TRUE(seed.startsWith("REGEDIT4\r\n\r\n") && !seed.contains("\r\r") &&
                seed.count('\n') == seed.count("\r\n"));
    for (const QByteArray& text : {seed, testing::win98Excerpt()}) {
        const auto values = decodeAll(text);
        EXPECT_GT(values.size(), 30u);
        for (const Decoded& value : values)
            EXPECT_TRUE(value.regenerated) << value.name.constData();
    }
}

} // namespace
} // namespace velmora::regfile
