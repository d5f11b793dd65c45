// libFuzzer target: the INI editor and the item reader over arbitrary bytes.
#include "profile/ProfileWriter.h"
#include "profile/SequentialInput.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // The first bytes, up to a NUL each, name the section and key; the rest is the file.
    const qsizetype sectionEnd = bytes.indexOf('\0');
    const qsizetype keyEnd = sectionEnd < 0 ? -1 : bytes.indexOf('\0', sectionEnd + 1);
    if (keyEnd > 0) {
        const QByteArray section = bytes.first(sectionEnd);
        const QByteArray key = bytes.sliced(sectionEnd + 1, keyEnd - sectionEnd - 1);
        const QByteArray file = bytes.sliced(keyEnd + 1);
        if (const velmora::Result<QByteArray> edited = velmora::editProfileText(file, section, key, "v")) {
            // Writing the same value again must change nothing.
            const velmora::Result<QByteArray> again = velmora::editProfileText(*edited, section, key, "v");
            if (!again || *again != *edited)
                __builtin_trap();
        }
    }

    velmora::SequentialInput input(bytes);
    qsizetype items = 0;
    while (input.next()) {
        if (++items > bytes.size() + 1)
            __builtin_trap();
    }
    return 0;
}
