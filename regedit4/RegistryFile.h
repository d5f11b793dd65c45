#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>
#include <span>
#include <vector>

// The REGEDIT4 text of a registry file: reading it into a layout that points into the text
// (nothing is copied, so untouched lines stay byte for byte as they were), decoding one value's
// data on demand, and formatting regenerated lines the way regedit exports them.
//
// How data maps to the text (the rule every write follows, so data round-trips byte-exact):
//   - "name"="text" holds REG_SZ data that is exactly the text's bytes: no terminator is added.
//     Windows 9x keeps strings without their terminating NUL too, and regedit imports the form
//     the same way. So a REG_SZ whose bytes contain no NUL is written in this form. Its line
//     breaks stay inside the quotes as they are, the text going on over the following lines, as
//     regedit exports them.
//   - Any other REG_SZ (a terminating NUL, embedded NULs) is written as hex(1):...
//   - REG_DWORD data of exactly 4 bytes is written as dword:%08x; any other length as hex(4):...
//   - REG_BINARY is hex:..., every other type hex(n):... with n in lowercase hex. hex(2) and
//     hex(7) bytes are ANSI, as in every REGEDIT4 file, and are kept as they are.
// Hex lists wrap near 80 columns with ",\" and a two-space indent, as regedit wraps them.
namespace velmora::regfile {

// Case folding of names: ASCII and the letters of Windows-1252.
uchar foldByte(uchar c);
bool namesEqual(QByteArrayView a, QByteArrayView b);

// A path as the registry sees it: runs of backslashes collapsed, leading and trailing ones
// dropped. folded receives the same path case-folded (the key's identity).
void normalisePath(QByteArrayView path, QByteArray& display, QByteArray& folded);
// The quick way for the usual path, one without a leading or doubled backslash: folded gets
// its folded form and the path is returned without its trailing backslashes. Nothing for any
// other path (use normalisePath).
std::optional<QByteArrayView> foldPath(QByteArrayView path, QByteArray& folded);

// One value line, possibly continued over several physical lines. Offsets are relative to the
// start of the block that holds it, so an edit elsewhere only moves the block.
struct ValueLine {
    quint32 lineStart;  // first byte of the line (its leading blanks included)
    quint32 lineLength; // through the final line break, continuation lines included
    quint32 nameStart;  // the name as written between its quotes (escapes not undone)
    quint32 nameLength;
    quint32 dataStart;  // the data text after "=" and its blanks
    quint8 breakLength; // 0 (last line of the file without one), 1 (LF) or 2 (CRLF)
    quint8 flags;       // DefaultValue, EscapedName
    enum : quint8 { DefaultValue = 1, EscapedName = 2 };
};

// A "[ROOT\path]" line and the lines up to the next key line (or the end of the text).
struct Block {
    qsizetype start = 0; // offset of the key line in the text
    qsizetype length = 0;
    quint32 keyLineLength = 0; // through its line break
    quint32 pathStart = 0;     // between "[" and the last "]", relative to start
    quint32 pathLength = 0;
    bool localMachine = false; // the path lies under HKEY_LOCAL_MACHINE: served; others are only kept
    quint32 firstValue = 0;    // its value lines in the layout's list of values
    quint32 valueCount = 0;
    int key = -1;           // the store's key of a served block
    int previousOfKey = -1; // the block before it of the same key (a key may appear twice)

    QByteArrayView path(QByteArrayView text) const { return text.sliced(start + pathStart, pathLength); }
    // The path below HKEY_LOCAL_MACHINE (empty for the root itself); only for served blocks.
    QByteArrayView localPath(QByteArrayView text) const;
};

struct Layout {
    qsizetype preambleEnd = 0; // the header and whatever precedes the first key line
    std::vector<Block> blocks;
    std::vector<ValueLine> values; // of all blocks, in file order
    QByteArray lineBreak = "\r\n"; // the file's own, used for lines that are added

    std::span<const ValueLine> valuesOf(const Block& block) const
    {
        return std::span<const ValueLine>(values).subspan(block.firstValue, block.valueCount);
    }
};

// Called with the index of each block as soon as its key line is read (while the line is still
// in the cache), before its values are.
using BlockSeen = std::function<void(size_t)>;

// Reads a whole REGEDIT4 text. An empty text is an empty registry. A text that cannot be read
// fails with what is wrong, on the line (of the whole text) where it is.
Result<void> parseText(QByteArrayView text, Layout& layout, const BlockSeen& seen = {});

// Reads the blocks of text[from, to); from must be the start of a key line. Blocks and their
// value lines are appended. Fails as parseText does.
Result<void> parseBlocks(QByteArrayView text, qsizetype from, qsizetype to, std::vector<Block>& blocks,
                         std::vector<ValueLine>& values, const BlockSeen& seen = {});

// The value's name with its escapes undone (empty for the default value "@").
QByteArray valueName(QByteArrayView blockText, const ValueLine& line);
bool valueNameEquals(QByteArrayView blockText, const ValueLine& line, QByteArrayView name);

// Decodes the data text of a value line that parsing accepted.
bool decodeData(QByteArrayView blockText, const ValueLine& line, quint32& type, QByteArray& data);

// "name"=... or @=..., the part before the data.
QByteArray formatNamePrefix(QByteArrayView name);
// The data text of a value line; column is where it starts on the line (the length of the name
// prefix), for wrapping long hex lists.
QByteArray formatData(quint32 type, QByteArrayView data, qsizetype column, QByteArrayView lineBreak);
QByteArray formatKeyLine(QByteArrayView localPath, QByteArrayView lineBreak);

inline constexpr QByteArrayView kHeader = "REGEDIT4";
inline constexpr QByteArrayView kLocalMachine = "HKEY_LOCAL_MACHINE";

} // namespace velmora::regfile
