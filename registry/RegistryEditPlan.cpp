#include "registry/RegistryEditPlan.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace velmora {

using regfile::Block;
using regfile::ValueLine;

namespace {

// True when the text before pos ends with an empty line.
bool endsWithBlankLine(QByteArrayView before)
{
    if (!before.endsWith('\n'))
        return false;
    before.chop(1);
    if (before.endsWith('\r'))
        before.chop(1);
    return before.isEmpty() || before.endsWith('\n');
}

// Puts fresh in the place of list[at, at + count), moving the entries after them only when the
// number changes.
template <typename T>
void spliceInto(std::vector<T>& list, size_t at, size_t count, const std::vector<T>& fresh)
{
    const size_t common = std::min(count, fresh.size());
    std::copy_n(fresh.begin(), common, list.begin() + qsizetype(at));
    const auto tail = list.begin() + qsizetype(at + common);
    if (fresh.size() > count)
        list.insert(tail, fresh.begin() + qsizetype(common), fresh.end());
    else
        list.erase(tail, tail + qsizetype(count - common));
}

} // namespace

std::optional<ValueLineAt> RegistryText::findValue(int key, QByteArrayView name) const
{
    for (int b = keys.lastBlock(key); b >= 0; b = layout.blocks[size_t(b)].previousOfKey) {
        const Block& block = layout.blocks[size_t(b)];
        const auto values = layout.valuesOf(block);
        for (auto v = values.rbegin(); v != values.rend(); ++v)
            if (regfile::valueNameEquals(textOf(block), *v, name))
                return ValueLineAt{b, &*v};
    }
    return std::nullopt;
}

std::optional<TextEdit> planSetValue(const RegistryText& text, int key, QByteArrayView name, quint32 type,
                                     QByteArrayView data)
{
    const QByteArrayView lineBreak = text.layout.lineBreak;
    if (const auto found = text.findValue(key, name)) {
        const Block& block = text.layout.blocks[size_t(found->block)];
        const ValueLine& v = *found->line;
        quint32 oldType = 0;
        QByteArray oldData;
        if (regfile::decodeData(text.textOf(block), v, oldType, oldData) && oldType == type &&
            oldData == data)
            return std::nullopt;
        // The name as written stays; only the data after "=" is written anew.
        TextEdit edit;
        edit.start = block.start + v.dataStart;
        edit.end = block.start + v.lineStart + v.lineLength - v.breakLength;
        edit.bytes = regfile::formatData(type, data, v.dataStart - v.lineStart, lineBreak);
        edit.firstBlock = found->block;
        edit.blockCount = 1;
        edit.parseFrom = block.start;
        return edit;
    }

    QByteArray line = regfile::formatNamePrefix(name);
    line += regfile::formatData(type, data, line.size(), lineBreak);
    line += lineBreak;
    const int last = text.keys.lastBlock(key);
    if (last < 0)
        return planKeyBlocks(text, {text.keys.path(key)}, line);

    // After the last value of the key's last block.
    const Block& block = text.layout.blocks[size_t(last)];
    const auto values = text.layout.valuesOf(block);
    const qsizetype at = values.empty() ? block.start + block.keyLineLength
                                        : block.start + values.back().lineStart + values.back().lineLength;
    if (text.text[at - 1] != '\n') // the last line of the file had no line break
        line.prepend(lineBreak.toByteArray());
    TextEdit edit;
    edit.start = edit.end = at;
    edit.bytes = line;
    edit.firstBlock = last;
    edit.blockCount = 1;
    edit.parseFrom = block.start;
    return edit;
}

std::vector<QByteArray> missingKeyPaths(const RegistryKeyIndex& keys, const QByteArray& display,
                                        const QByteArray& folded)
{
    qsizetype matched = 0;
    const int existing = keys.deepest(folded, matched);
    std::vector<QByteArray> missing;
    if (matched == folded.size())
        return missing;
    QByteArray base = keys.path(existing);
    const QList<QByteArray> parts = display.mid(matched == 0 ? 0 : matched + 1).split('\\');
    for (const QByteArray& part : parts) {
        base = base.isEmpty() ? part : base + '\\' + part;
        missing.push_back(base);
    }
    return missing;
}

TextEdit planKeyBlocks(const RegistryText& text, const std::vector<QByteArray>& paths,
                       const QByteArray& valueLine)
{
    const QByteArrayView lineBreak = text.layout.lineBreak;
    QByteArray display, folded;
    regfile::normalisePath(paths.front(), display, folded);
    // The first key exists already (above the blocks of its subkeys), or else its parent does.
    qsizetype matched = 0;
    const int deepest = text.keys.deepest(folded, matched);
    const int first = matched == folded.size() ? deepest : -1;
    const int parent = first >= 0 ? text.keys.parentOf(first) : deepest;
    const auto& blocks = text.layout.blocks;
    const int count = int(blocks.size());

    int index = -1;
    for (int i = 0; first >= 0 && i < count && index < 0; ++i)
        if (blocks[size_t(i)].key >= 0 && text.keys.liesWithin(blocks[size_t(i)].key, first))
            index = i;
    if (index < 0 && parent >= 0) {
        for (int i = count - 1; i >= 0 && index < 0; --i) {
            const int key = blocks[size_t(i)].key;
            if (key >= 0 && (key == parent || text.keys.liesWithin(key, parent)))
                index = i + 1;
        }
    }
    if (index < 0)
        index = count;

    TextEdit edit;
    const qsizetype at = index < count ? blocks[size_t(index)].start : text.text.size();
    if (text.text.isEmpty()) {
        edit.bytes = regfile::kHeader.toByteArray();
        edit.bytes += lineBreak;
        edit.bytes += lineBreak;
    } else {
        if (text.text[at - 1] != '\n')
            edit.bytes += lineBreak;
        const qsizetype context = std::min<qsizetype>(at, 8);
        if (!endsWithBlankLine(text.text.mid(at - context, context) + edit.bytes))
            edit.bytes += lineBreak;
    }
    const qsizetype separator = edit.bytes.size();
    for (size_t i = 0; i < paths.size(); ++i) {
        edit.bytes += regfile::formatKeyLine(paths[i], lineBreak);
        if (i + 1 == paths.size())
            edit.bytes += valueLine;
        edit.bytes += lineBreak;
    }
    edit.start = edit.end = at;
    if (index > 0) {
        // The separating line break belongs to the block before.
        edit.firstBlock = index - 1;
        edit.blockCount = 1;
        edit.parseFrom = blocks[size_t(index - 1)].start;
    } else {
        edit.firstBlock = 0;
        edit.blockCount = 0;
        edit.parseFrom = at + separator;
        edit.preambleGrows = true;
    }
    return edit;
}

void replaceInPlace(QByteArray& text, qsizetype start, qsizetype end, QByteArrayView bytes)
{
    const qsizetype oldSize = text.size();
    const qsizetype delta = bytes.size() - (end - start);
    if (delta > 0)
        text.resize(oldSize + delta);
    char* data = text.data();
    if (delta != 0)
        std::memmove(data + end + delta, data + end, size_t(oldSize - end));
    if (!bytes.isEmpty())
        std::memcpy(data + start, bytes.data(), size_t(bytes.size()));
    if (delta < 0)
        text.truncate(oldSize + delta);
}

std::vector<int> spliceLayout(regfile::Layout& layout, const TextEdit& edit, std::vector<Block> fresh,
                              const std::vector<ValueLine>& freshValues, qsizetype delta)
{
    auto& blocks = layout.blocks;
    auto& values = layout.values;
    const int first = edit.firstBlock;
    const int oldEnd = first + edit.blockCount;
    const auto valuesFrom =
        first < int(blocks.size()) ? blocks[size_t(first)].firstValue : quint32(values.size());
    quint32 oldValueCount = 0;
    std::vector<int> oldKeys;
    for (int i = first; i < oldEnd; ++i) {
        oldValueCount += blocks[size_t(i)].valueCount;
        oldKeys.push_back(blocks[size_t(i)].key);
    }
    const auto valueShift = qint64(freshValues.size()) - qint64(oldValueCount);
    if (delta != 0 || valueShift != 0) {
        for (size_t i = size_t(oldEnd); i < blocks.size(); ++i) {
            blocks[i].start += delta;
            blocks[i].firstValue = quint32(qint64(blocks[i].firstValue) + valueShift);
        }
    }
    for (Block& block : fresh)
        block.firstValue += valuesFrom;
    // A block read again keeps its place in its key's chain when it is still the same key's.
    for (size_t i = 0; i < fresh.size() && i < oldKeys.size(); ++i)
        fresh[i].previousOfKey = blocks[size_t(first) + i].previousOfKey;
    spliceInto(values, valuesFrom, oldValueCount, freshValues);
    spliceInto(blocks, size_t(first), size_t(edit.blockCount), fresh);
    if (edit.preambleGrows)
        layout.preambleEnd = edit.parseFrom;
    return oldKeys;
}

} // namespace velmora
