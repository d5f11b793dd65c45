// libFuzzer target: REGEDIT4 text is parsed; every value it accepts is written back as a value
// line and parsed again, and must come back with the same name, type and bytes.
#include "regedit4/RegistryFile.h"

#include <cstddef>
#include <cstdint>

using namespace velmora::regfile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    Layout layout;
    if (!parseText(text, layout))
        return 0;
    for (const Block& block : layout.blocks) {
        const QByteArrayView blockText = QByteArrayView(text).sliced(block.start, block.length);
        for (const ValueLine& line : layout.valuesOf(block)) {
            quint32 type = 0;
            QByteArray bytes;
            if (!decodeData(blockText, line, type, bytes))
                __builtin_trap(); // accepted by the parser, so it must decode
            const QByteArray name = valueName(blockText, line);
            QByteArray written = "REGEDIT4\r\n\r\n" + formatKeyLine("K", "\r\n");
            const QByteArray prefix = formatNamePrefix(name);
            written += prefix + formatData(type, bytes, prefix.size(), "\r\n") + "\r\n";

            Layout again;
            if (!parseText(written, again) || again.values.size() != 1)
                __builtin_trap(); // what Velmora writes, it must read
            const Block& back = again.blocks.front();
            const QByteArrayView backText = QByteArrayView(written).sliced(back.start, back.length);
            quint32 typeBack = 0;
            QByteArray bytesBack;
            if (!decodeData(backText, again.values.front(), typeBack, bytesBack) || typeBack != type ||
                bytesBack != bytes || valueName(backText, again.values.front()) != name)
                __builtin_trap();
        }
    }
    return 0;
}
