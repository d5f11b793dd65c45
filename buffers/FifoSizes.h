#pragma once

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

} // namespace velmora
