#pragma once

#include "ui/SaveAsDialog.h"

namespace velmora {

// The real Save As dialog: the platform's file dialog, modal over the active window. The
// pattern is its first file type; "All files" is offered too, and an existing file is only
// replaced after the user agrees.
class QtSaveAsDialog : public SaveAsDialog {
public:
    std::optional<QString> askForFile(const QString& pattern) override;
};

} // namespace velmora
