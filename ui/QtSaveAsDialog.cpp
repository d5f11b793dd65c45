#include "ui/QtSaveAsDialog.h"

#include <QApplication>
#include <QFileDialog>

namespace velmora {

std::optional<QString> QtSaveAsDialog::askForFile(const QString& pattern)
{
    const QString filter = QStringLiteral("Text files (%1);;All files (*)").arg(pattern);
    const QString fileName = QFileDialog::getSaveFileName(QApplication::activeWindow(),
                                                          QStringLiteral("Save As"), QString(), filter);
    if (fileName.isEmpty())
        return std::nullopt;
    return fileName;
}

} // namespace velmora
