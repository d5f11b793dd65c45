#include "ui/ClickablePicture.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QPixmap>

namespace velmora {

void ClickablePicture::setPictureFile(const QString& file)
{
    m_pendingFile = file;
    if (isVisible())
        showPendingPicture();
}

QSize ClickablePicture::pictureSize() const
{
    if (m_pendingFile.isEmpty())
        return pixmap().size();
    // Only the header is read; a file that cannot be read shows nothing, as an empty picture.
    const QSize size = QImageReader(m_pendingFile).size();
    return size.isValid() ? size : QSize(0, 0);
}

void ClickablePicture::showPendingPicture()
{
    if (m_pendingFile.isEmpty())
        return;
    setPixmap(QPixmap(m_pendingFile));
    m_pendingFile.clear();
}

void ClickablePicture::showEvent(QShowEvent* event)
{
    showPendingPicture();
    QLabel::showEvent(event);
}

void ClickablePicture::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace velmora
