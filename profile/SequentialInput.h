#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmora {

class MachineFolder;

// Sequential file input ("Input #"): a file read as one run of comma-delimited items.
// - Blanks (spaces and tabs) before an item are skipped.
// - An item that starts with a double quote runs to the next double quote (commas and line
//   ends included) and does not include the quotes; after the closing quote blanks are
//   skipped and one comma or one line end is consumed. An unclosed quote runs to the end.
// - Any other item runs to the next comma or line end; blanks at its end are dropped. The
//   comma or line end that ends it is consumed with it.
// - NUL bytes are left out everywhere, as if the data did not hold them.
// - A line ends at CR, LF or CRLF. Ctrl-Z (0x1A) or the end of the data ends the input.
// Items are ANSI bytes; the reader never fails part-way, it only runs out of items.
class SequentialInput {
public:
    explicit SequentialInput(QByteArray data);

    // Opens a file of the machine for input; the reason when it cannot be read.
    static Result<SequentialInput> open(const MachineFolder& machine, QStringView windowsPath);

    // EOF(): nothing but the end (or Ctrl-Z) is left after the last consumed delimiter.
    // Blanks or line ends alone still count as items to come (an empty item).
    bool atEnd() const;

    // The next item; nothing once atEnd() ("Input past end of file").
    std::optional<QByteArray> next();
    // The same item as a view into the input, valid as long as the input lives: no copy for
    // the many items a reader only looks at.
    std::optional<QByteArrayView> nextView();

    // Whether the item last returned was ended by a line end or the end of the input
    // (rather than by a comma), i.e. the next item starts on a new line.
    bool lastItemEndedLine() const { return m_endedLine; }

private:
    QByteArray m_data;
    qsizetype m_pos = 0;
    qsizetype m_end = 0; // first Ctrl-Z, or the size
    bool m_endedLine = true;
};

} // namespace velmora
