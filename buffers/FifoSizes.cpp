#include "buffers/FifoSizes.h"

#include "ui/RegistryAccess.h"

#include <array>

namespace velmora {
namespace {

struct FifoSize {
    const char* listText;
    qint32 stored;
};

constexpr std::array<FifoSize, 8> kSizes{{
    {"16k", 16},
    {"64k", 64},
    {"512k", 512},
    {"1MB", 1024},
    {"2MB", 2048},
    {"4MB", 4098},
    {"8MB", 8196},
    {"16MB", 16384},
}};

} // namespace

QStringList fifoListTexts()
{
    QStringList texts;
    for (const FifoSize& size : kSizes)
        texts.append(QString::fromLatin1(size.listText));
    return texts;
}

qint32 fifoSizeForListText(const QString& listText)
{
    for (const FifoSize& size : kSizes)
        if (listText == QLatin1String(size.listText))
            return size.stored;
    return 0;
}

std::optional<QString> fifoListTextForStoredText(const QString& storedText)
{
    for (const FifoSize& size : kSizes)
        if (storedText == QString::number(size.stored))
            return QString::fromLatin1(size.listText);
    return std::nullopt;
}

std::optional<QList<FifoWrite>> fifoWrites(const QString& sendText, const QString& receiveText)
{
    if (sendText == kFifoNoPickText || receiveText == kFifoNoPickText)
        return std::nullopt;
    const qint32 send = fifoSizeForListText(sendText);
    const qint32 receive = fifoSizeForListText(receiveText);
    const QString rx = QStringLiteral("RxFIFO"), tx = QStringLiteral("TxFIFO");
    return QList<FifoWrite>{{kSerialFifoKey, rx, receive},
                            {kSerialFifoKey, tx, send},
                            {kDialUpAdapterKey, rx, receive},
                            {kDialUpAdapterKey, tx, send}};
}

} // namespace velmora
