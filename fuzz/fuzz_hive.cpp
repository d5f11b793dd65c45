// libFuzzer target: the binary registry reader over arbitrary bytes. Whatever it accepts must
// stay acceptable after an edit: a changed value and a new key are read back at once.
#include "creg/HiveImage.h"

#include <cstddef>
#include <cstdint>

namespace {

void check(bool holds)
{
    if (!holds)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using velmora::HiveImage;
    auto image = HiveImage::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!image)
        return 0;
    // Every key is listed and every value readable.
    for (int key = 0; key < image->keyCount(); ++key) {
        check(image->findKey(QByteArray()) == HiveImage::kRootKey);
        for (const auto& v : image->values(key)) {
            quint32 type = 0;
            QByteArray bytes;
            check(image->readValue(key, v.name, type, bytes));
        }
    }
    const int key = int(size % size_t(image->keyCount()));
    const QByteArray value(int(size % 300), 'v');
    if (auto changed = image->withValue(key, "Fuzz", 3, value)) {
        auto reread = HiveImage::parse(std::move(changed).value());
        check(reread.ok());
        quint32 type = 0;
        QByteArray bytes;
        check(reread->readValue(key, "FUZZ", type, bytes) && type == 3 && bytes == value);
    }
    if (auto added = image->withSubkey(key, "Fuzz\xC9")) {
        auto reread = HiveImage::parse(std::move(added).value());
        check(reread.ok() && reread->keyCount() == image->keyCount() + 1);
    }
    return 0;
}
