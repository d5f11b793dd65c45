#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

// The serial FIFO sizes the buffer settings window offers: the text the user picks and the
// number stored for it. "4MB" and "8MB" store 4098 and 8196, as the driver setting always
// has, and those are the numbers that read back as 4MB and 8MB.

// The list texts in list order.
QStringList fifoListTexts();

// The number stored for a list text; 0 for a text that is not in the list (typed by the user).
qint32 fifoSizeForListText(const QString& listText);

// The list text for a stored value as read from the registry ("4098" gives "4MB"); nothing
// for any other text. The comparison is exact: "04098" or " 4098" are not sizes of the list.
std::optional<QString> fifoListTextForStoredText(const QString& storedText);

// What a list shows while no size is picked.
inline const QString kFifoNoPickText = QStringLiteral("Select Size");

// The serial driver's key, whose sizes the window shows.
inline const QString kSerialFifoKey = QStringLiteral("System\\CurrentControlSet\\Services\\Serial\\");

// One registry number the FIFO sizes are stored in, under HKEY_LOCAL_MACHINE.
struct FifoWrite {
    QString keyPath;
    QString valueName;
    qint32 size;

    bool operator==(const FifoWrite&) const = default;
};

// The four numbers a pick of send and receive sizes writes, in order: the serial driver's
// receive and send sizes, then the dial-up adapter's. Nothing while either list shows no pick.
std::optional<QList<FifoWrite>> fifoWrites(const QString& sendText, const QString& receiveText);

} // namespace velmora
