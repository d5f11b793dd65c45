#include "disk/ImageFormat.h"

#include "disk/ByteFields.h"

#include <QRegularExpression>

namespace velmora {

namespace {

constexpr qint64 sectorBytes = 512;

Failure notADisk(const QString& found)
{
    return failure(QStringLiteral("not a hard disk image: %1").arg(found));
}

bool endsInBootSignature(QByteArrayView head, qint64 sectorStart)
{
    return bytesAt(head, sectorStart + 510, "\x55\xAA");
}

// A name a QEMU header points to must be a plain file name: anything with a protocol prefix
// ("nbd:", "http:", "json:{...}") would have QEMU reach over the network or past the image.
bool isPlainFileName(QByteArrayView name)
{
    if (name.isEmpty() || name.contains('\0'))
        return false;
    const qsizetype colon = name.indexOf(':');
    const qsizetype slash = name.indexOf('/');
    return colon < 0 || (slash >= 0 && slash < colon);
}

Result<ImageLayout> recogniseQcow(QByteArrayView head)
{
    const quint32 version = bigEndianAt<quint32>(head, 4);
    if (version == 1)
        return failure(
            QStringLiteral("a qcow image of the first version, which is not supported (only qcow2)"));
    if (version != 2 && version != 3)
        return failure(QStringLiteral("a qcow2 image of unknown version %1").arg(version));
    // An external data file, named inside the image, would take the disk's writes elsewhere.
    constexpr quint64 externalDataFile = 1u << 2;
    if (version == 3 && (bigEndianAt<quint64>(head, 72) & externalDataFile) != 0)
        return failure(
            QStringLiteral("a qcow2 image whose data lie in another file, which is not supported"));
    const quint64 backingOffset = bigEndianAt<quint64>(head, 8);
    const quint32 backingLength = bigEndianAt<quint32>(head, 16);
    if (backingLength != 0) {
        if (backingLength > 1023 || backingOffset > quint64(head.size()) ||
            backingLength > quint64(head.size()) - backingOffset)
            return failure(QStringLiteral("a qcow2 image whose backing file name cannot be read"));
        const QByteArrayView backing = head.sliced(qsizetype(backingOffset), backingLength);
        if (!isPlainFileName(backing))
            return failure(QStringLiteral("a qcow2 image whose backing file is not a plain file (%1)")
                               .arg(QString::fromLatin1(backing.toByteArray().toPercentEncoding(
                                   " !\"#$&'()*+,/:;<=>?@[\\]^`{|}~"))));
    }
    return ImageLayout{ImageFormat::Qcow2};
}

// Every extent must be a file beside the descriptor, so a hostile descriptor cannot have
// writes land on a device or another user's file; a parent must be a plain file. The extents'
// file names, in order.
Result<QStringList> checkVmdkDescriptor(QByteArrayView text)
{
    static const QRegularExpression extentLine(
        QStringLiteral(R"(^\s*(RW|RDONLY|NOACCESS)\s+\d+\s+(\S+)\s+"([^"]*)\")"));
    static const QRegularExpression parentLine(QStringLiteral(R"(^\s*parentFileNameHint\s*=\s*"([^"]*)\")"));
    QStringList extents;
    const QStringList lines = QString::fromLatin1(text.data(), text.size()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (const auto extent = extentLine.match(line); extent.hasMatch()) {
            const QString type = extent.captured(2);
            const QString file = extent.captured(3);
            if (type != QLatin1String("FLAT") && type != QLatin1String("SPARSE") &&
                type != QLatin1String("VMFS"))
                return failure(
                    QStringLiteral("a VMDK descriptor with a %1 extent, which is not supported").arg(type));
            if (file.isEmpty() || file.contains(QLatin1Char('/')) || file.contains(QLatin1Char(':')) ||
                file == QLatin1String("..") || file == QLatin1String("."))
                return failure(QStringLiteral("a VMDK descriptor whose extent \"%1\" is not a file beside it")
                                   .arg(file));
            extents.append(file);
        } else if (const auto parent = parentLine.match(line); parent.hasMatch()) {
            if (!isPlainFileName(parent.captured(1).toLatin1()))
                return failure(QStringLiteral("a VMDK descriptor whose parent \"%1\" is not a plain file")
                                   .arg(parent.captured(1)));
        }
    }
    if (extents.isEmpty())
        return failure(QStringLiteral("a VMDK descriptor that names no extent"));
    return extents;
}

Result<ImageLayout> recogniseVmdkDescriptor(QByteArrayView head, qint64 fileSize)
{
    if (fileSize > head.size())
        return failure(QStringLiteral("a VMDK descriptor larger than %1 KiB").arg(imageHeadBytes / 1024));
    Result<QStringList> extents = checkVmdkDescriptor(head);
    if (!extents)
        return failure(extents.reason());
    return ImageLayout{ImageFormat::VmdkDescriptor, 0, 0, std::move(*extents)};
}

// A sparse VMDK carries its descriptor inside (where the header says), checked the same way.
Result<ImageLayout> recogniseVmdkSparse(QByteArrayView head)
{
    // Flag 16: compressed grains (streamOptimized, as inside an OVA), which QEMU only appends to.
    if (littleEndianAt<quint32>(head, 8) & (1u << 16))
        return failure(QStringLiteral("a stream-optimized VMDK (compressed, as exported in an OVA), which "
                                      "cannot be changed in place; convert it to a monolithic sparse VMDK "
                                      "first (qemu-img convert -O vmdk)"));
    const quint64 offset = littleEndianAt<quint64>(head, 28) * sectorBytes;
    const quint64 length = littleEndianAt<quint64>(head, 36) * sectorBytes;
    if (offset == 0 && length == 0)
        return ImageLayout{ImageFormat::VmdkSparse};
    if (offset > quint64(head.size()) || length > quint64(head.size()) - offset)
        return failure(QStringLiteral("a sparse VMDK whose descriptor cannot be read"));
    // Its extent is the file itself, whatever name the descriptor still gives it after a rename.
    if (const Result<QStringList> extents =
            checkVmdkDescriptor(head.sliced(qsizetype(offset), qsizetype(length)));
        !extents)
        return failure(extents.reason());
    return ImageLayout{ImageFormat::VmdkSparse};
}

Result<ImageLayout> recogniseVhdFooter(QByteArrayView footer, bool atStart, qint64 fileSize)
{
    switch (bigEndianAt<quint32>(footer, 60)) {
    case 2:
        if (atStart)
            break;
        return ImageLayout{ImageFormat::FixedVhd, 0, fileSize - sectorBytes};
    case 3:
        if (!atStart)
            return failure(QStringLiteral("a dynamic VHD whose copy of the footer at the start is missing"));
        return ImageLayout{ImageFormat::DynamicVhd};
    case 4:
        return failure(
            QStringLiteral("a differencing VHD, which is not supported (merge it into its parent first)"));
    default:
        break;
    }
    return failure(QStringLiteral("a VHD of unknown disk type %1").arg(bigEndianAt<quint32>(footer, 60)));
}

// Raw after a header of 40 bytes that states how many bytes of disk follow.
Result<ImageLayout> recogniseHdx(QByteArrayView head, qint64 fileSize)
{
    constexpr qint64 headerBytes = 0x28;
    const quint64 dataBytes = littleEndianAt<quint64>(head, 8);
    if (littleEndianAt<quint32>(head, 0x10) != sectorBytes || dataBytes == 0 ||
        dataBytes % sectorBytes != 0 || fileSize < headerBytes || dataBytes > quint64(fileSize - headerBytes))
        return failure(QStringLiteral("an HDX image whose header does not fit the file"));
    return ImageLayout{ImageFormat::Hdx, headerBytes, qint64(dataBytes)};
}

// The HDI header has no magic: a zero first word, then sizes that must agree with the file, and
// the disk's first sector (right after the header) must carry the boot signature.
std::optional<ImageLayout> recogniseHdi(QByteArrayView head, qint64 fileSize)
{
    const quint32 headerBytes = littleEndianAt<quint32>(head, 8);
    const quint32 dataBytes = littleEndianAt<quint32>(head, 12);
    const bool plausible =
        littleEndianAt<quint32>(head, 0) == 0 && headerBytes >= 32 && headerBytes % sectorBytes == 0 &&
        dataBytes > 0 && dataBytes % sectorBytes == 0 && littleEndianAt<quint32>(head, 16) == sectorBytes &&
        qint64(headerBytes) + qint64(dataBytes) <= fileSize && endsInBootSignature(head, headerBytes);
    if (!plausible)
        return std::nullopt;
    return ImageLayout{ImageFormat::Hdi, headerBytes, dataBytes};
}

QString firstBytes(QByteArrayView head)
{
    return QString::fromLatin1(head.first(qMin<qsizetype>(head.size(), 16)).toByteArray().toHex(' '));
}

// What a file that is not a hard disk most often turns out to be.
std::optional<QString> nameOtherContent(QByteArrayView head)
{
    struct Known {
        qsizetype offset;
        QByteArrayView magic;
        const char* name;
    };
    static const Known known[] = {
        {0x8001, "CD001", "an ISO 9660 image (a CD or DVD, not a hard disk)"},
        {1080, "\x53\xEF", "a Linux ext2/3/4 file system"},
        {0, "QED\0", "a QED image, which is not supported"},
        {0, "COWD", "an ESX sparse VMDK (COWD), which is not supported"},
        {0, "\x1F\x8B", "a gzip-compressed file (unpack it first)"},
        {0,
         "\xFD"
         "7zXZ",
         "an xz-compressed file (unpack it first)"},
        {0, "PK\x03\x04", "a zip archive (unpack it first)"},
        {0, "7z\xBC\xAF\x27\x1C", "a 7-Zip archive (unpack it first)"},
    };
    for (const Known& candidate : known) {
        if (bytesAt(head, candidate.offset, candidate.magic))
            return QString::fromLatin1(candidate.name);
    }
    return std::nullopt;
}

} // namespace

Result<ImageLayout> recogniseImage(QByteArrayView head, QByteArrayView tail, qint64 fileSize)
{
    if (fileSize <= 0 || head.isEmpty())
        return notADisk(QStringLiteral("an empty file"));
    if (bytesAt(head, 0, "QFI\xFB"))
        return recogniseQcow(head);
    if (bytesAt(head, 0, "<<< ") && littleEndianAt<quint32>(head, 0x40) == 0xBEDA107F)
        return ImageLayout{ImageFormat::Vdi};
    if (bytesAt(head, 0, "KDMV"))
        return recogniseVmdkSparse(head);
    if (bytesAt(head, 0, "# Disk DescriptorFile"))
        return recogniseVmdkDescriptor(head, fileSize);
    if (bytesAt(head, 0, "vhdxfile"))
        return ImageLayout{ImageFormat::Vhdx};
    if (bytesAt(head, 0, "conectix"))
        return recogniseVhdFooter(head, true, fileSize);
    if (fileSize >= 2 * sectorBytes && tail.size() == imageTailBytes && bytesAt(tail, 0, "conectix"))
        return recogniseVhdFooter(tail, false, fileSize);
    if (bytesAt(head, 0, "YTDD\x20\xA8\x78\xD7"))
        return recogniseHdx(head, fileSize);
    if (const auto hdi = recogniseHdi(head, fileSize))
        return *hdi;
    if (const auto other = nameOtherContent(head))
        return notADisk(*other);
    if (endsInBootSignature(head, 0))
        return ImageLayout{ImageFormat::Raw, 0, fileSize};
    if (head.size() >= sectorBytes && head.first(sectorBytes).count('\0') == sectorBytes)
        return notADisk(QStringLiteral("a blank disk (its first sector holds only zeros)"));
    return notADisk(QStringLiteral("unknown content (first bytes %1)").arg(firstBytes(head)));
}

QString describeFormat(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Raw:
        return QStringLiteral("a raw disk image");
    case ImageFormat::FixedVhd:
        return QStringLiteral("a fixed-size VHD");
    case ImageFormat::Hdi:
        return QStringLiteral("an HDI image");
    case ImageFormat::Hdx:
        return QStringLiteral("an HDX image");
    case ImageFormat::Qcow2:
        return QStringLiteral("a qcow2 image");
    case ImageFormat::Vdi:
        return QStringLiteral("a VDI image");
    case ImageFormat::VmdkSparse:
        return QStringLiteral("a monolithic sparse VMDK");
    case ImageFormat::VmdkDescriptor:
        return QStringLiteral("a VMDK descriptor");
    case ImageFormat::DynamicVhd:
        return QStringLiteral("a dynamic VHD");
    case ImageFormat::Vhdx:
        return QStringLiteral("a VHDX image");
    }
    return {};
}

bool isRawFormat(ImageFormat format)
{
    return qemuDriver(format).isEmpty();
}

QString qemuDriver(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Qcow2:
        return QStringLiteral("qcow2");
    case ImageFormat::Vdi:
        return QStringLiteral("vdi");
    case ImageFormat::VmdkSparse:
    case ImageFormat::VmdkDescriptor:
        return QStringLiteral("vmdk");
    case ImageFormat::DynamicVhd:
        return QStringLiteral("vpc");
    case ImageFormat::Vhdx:
        return QStringLiteral("vhdx");
    case ImageFormat::Raw:
    case ImageFormat::FixedVhd:
    case ImageFormat::Hdi:
    case ImageFormat::Hdx:
        break;
    }
    return {};
}

} // namespace velmora
