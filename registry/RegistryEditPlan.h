#pragma once

#include "regedit4/RegistryFile.h"
#include "registry/RegistryKeyIndex.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

namespace velmora {

// A change to a REGEDIT4 text: text[start, end) becomes bytes. Blocks [firstBlock, firstBlock +
// blockCount) of the old layout are the ones it falls into; they are read again from the new
// text, starting at parseFrom. With preambleGrows, the bytes before parseFrom belong to the
// header part.
struct TextEdit {
    qsizetype start = 0;
    qsizetype end = 0;
    QByteArray bytes;
    int firstBlock = 0;
    int blockCount = 0;
    qsizetype parseFrom = 0;
    bool preambleGrows = false;
};

// Where a value's line stands: its block and the line.
struct ValueLineAt {
    int block;
    const regfile::ValueLine* line;
};

// A REGEDIT4 text as the plans read it: the text, its layout and its keys.
struct RegistryText {
    const QByteArray& text;
    const regfile::Layout& layout;
    const RegistryKeyIndex& keys;

    QByteArrayView textOf(const regfile::Block& block) const
    {
        return QByteArrayView(text).sliced(block.start, block.length);
    }
    // The value line of that name in the key; the last one when the text holds it twice, as an
    // import would leave it.
    std::optional<ValueLineAt> findValue(int key, QByteArrayView name) const;
};

// The edit that gives the key's value that data: its data rewritten where it stands, or a new
// line after the key's last value. Nothing when the value holds that data already.
std::optional<TextEdit> planSetValue(const RegistryText& text, int key, QByteArrayView name, quint32 type,
                                     QByteArrayView data);

// The paths of the keys missing along a normalised path, parents first: the deepest key that
// exists keeps its spelling, the missing ones below it take the spelling given. Empty when the
// key exists.
std::vector<QByteArray> missingKeyPaths(const RegistryKeyIndex& keys, const QByteArray& display,
                                        const QByteArray& folded);

// The edit that adds a block for each of the keys (parents first), the value line in the last.
// They go where regedit would list them: before the blocks of their subkeys, or else after the
// last block below their parent.
TextEdit planKeyBlocks(const RegistryText& text, const std::vector<QByteArray>& paths,
                       const QByteArray& valueLine);

// Replaces text[start, end) with bytes where they stand: the bytes after them move once, and
// only when the length changes.
void replaceInPlace(QByteArray& text, qsizetype start, qsizetype end, QByteArrayView bytes);

// Puts fresh, the new reading of the edited blocks and their values, in their place in the
// layout; the blocks after them move by delta bytes. Returns the keys the replaced blocks had.
std::vector<int> spliceLayout(regfile::Layout& layout, const TextEdit& edit,
                              std::vector<regfile::Block> fresh,
                              const std::vector<regfile::ValueLine>& freshValues, qsizetype delta);

} // namespace velmora
