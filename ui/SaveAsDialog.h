#pragma once

#include <QString>

#include <optional>

namespace velmora {

// The platform's Save As dialog. The program shows it modally and reads back the chosen
// file's full path; nothing when the user cancels.
class SaveAsDialog {
public:
    virtual ~SaveAsDialog() = default;
    // pattern: the one preset of the dialog, e.g. "*.txt".
    virtual std::optional<QString> askForFile(const QString& pattern) = 0;
};

} // namespace velmora
