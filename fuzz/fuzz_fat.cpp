// libFuzzer target: a FAT volume over arbitrary bytes (boot sector, FATs, folders). The input is
// the start of the volume; the rest, up to the size its boot sector claims, reads as zeros, so a
// small input can describe a FAT16 or FAT32 volume. Every file of a volume that opens is read,
// and a save that is accepted must leave a sound volume that reads back what was saved.
#include "fat/FatVolume.h"

#include <QtEndian>

#include <cstddef>
#include <cstdint>
#include <map>

namespace {

void check(bool holds)
{
    if (!holds)
        __builtin_trap();
}

// The input, then zeros up to the size; what is written is kept in pages beside it, so a large
// volume costs only what is touched.
class MemoryDevice : public velmora::BlockDevice {
public:
    MemoryDevice(QByteArray bytes, qint64 size) : m_bytes(std::move(bytes)), m_size(size) {}
    QString name() const override { return QStringLiteral("fuzz.img"); }
    qint64 size() const override { return m_size; }
    velmora::Result<QByteArray> read(qint64 offset, qint64 length) override
    {
        check(offset >= 0 && length >= 0 && offset + length <= m_size);
        QByteArray out = m_bytes.mid(offset, length);
        out.resize(length, '\0');
        for (qint64 page = offset / kPage; page * kPage < offset + length; ++page)
            if (auto it = m_pages.find(page); it != m_pages.end()) {
                const qint64 from = std::max(offset, page * kPage),
                             to = std::min(offset + length, (page + 1) * kPage);
                out.replace(from - offset, to - from, it->second.constData() + (from - page * kPage),
                            to - from);
            }
        return out;
    }
    velmora::Result<void> write(qint64 offset, QByteArrayView bytes) override
    {
        check(offset >= 0 && offset + bytes.size() <= m_size);
        for (qint64 at = offset; at < offset + bytes.size();) {
            const qint64 page = at / kPage, to = std::min(offset + bytes.size(), (page + 1) * kPage);
            auto it = m_pages.find(page);
            if (it == m_pages.end())
                it = m_pages.emplace(page, read(page * kPage, std::min(kPage, m_size - page * kPage)).value())
                         .first;
            it->second.replace(at - page * kPage, to - at, bytes.data() + (at - offset), to - at);
            at = to;
        }
        return {};
    }
    velmora::Result<void> flush() override { return {}; }

private:
    static constexpr qint64 kPage = 4096;
    QByteArray m_bytes;
    qint64 m_size;
    std::map<qint64, QByteArray> m_pages;
};

constexpr qint64 kMaxVolume = 48 * 1024 * 1024;

// On a sound volume every entry is found again by its path and every file reads; a file that is
// served, on any volume, is served whole. A damaged name may lead a path back to a folder above
// it, so the walk visits at most as many entries as the input can hold (every entry of a sound
// volume is 32 bytes of its own): without that bound two such names make it exponential.
void readAll(velmora::FatVolume& volume, const QString& folder, int depth, qsizetype& budget)
{
    const bool sound = volume.damage().isEmpty();
    auto entries = volume.list(folder);
    check(entries.ok() || !sound);
    check(depth <= velmora::FatVolume::kMaxDepth + 1 || !sound);
    if (!entries || depth > velmora::FatVolume::kMaxDepth + 1)
        return;
    for (const auto& e : *entries) {
        if (--budget < 0) {
            check(!sound);
            return;
        }
        check(volume.stat(e.path).ok() || !sound);
        if (e.isDirectory())
            readAll(volume, e.path, depth + 1, budget);
        else if (auto bytes = volume.readFile(e.path))
            check(bytes->size() == qsizetype(e.size));
        else
            check(!sound);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace velmora;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    qint64 claimed = 0;
    if (size >= 40) {
        const quint16 small = qFromLittleEndian<quint16>(data + 19);
        claimed = qint64(small ? small : qFromLittleEndian<quint32>(data + 32)) *
                  qFromLittleEndian<quint16>(data + 11);
    }
    MemoryDevice device(input, std::clamp<qint64>(claimed, qint64(size), std::max<qint64>(kMaxVolume, size)));
    auto volume = FatVolume::open(device);
    if (!volume)
        return 0;
    qsizetype budget = qsizetype(size) / 32 + 1;
    readAll(*volume, QString(), 0, budget);
    if (!volume->damage().isEmpty())
        return 0;
    // Replace the first file found in the root, or create one; an accepted save is read back.
    QString path = QStringLiteral("FUZZ.INI");
    const auto root = volume->list(QString());
    for (const auto& e : *root)
        if (!e.isDirectory()) {
            path = e.path;
            break;
        }
    const QByteArray content(int(size % 3000), 'c');
    // A save that is planned must leave a sound volume holding what was saved.
    if (auto plan = volume->planReplace(path, content, QDateTime::currentDateTime())) {
        check(applyPlan(device, *plan).ok() && volume->checkVolume().ok());
        auto bytes = volume->readFile(path);
        check(bytes.ok() && *bytes == content);
    }
    return 0;
}
