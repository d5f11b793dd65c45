#pragma once

#include <QLabel>
#include <QSize>
#include <QString>

namespace velmora {

// A picture control: shows an image and reports clicks, like the original Image controls.
class ClickablePicture : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Shows the picture in the given file. It is read and decoded when the control is first
    // shown, so a window built but not yet on screen (the main window behind the splash) costs
    // no decoding; pictureSize() is known at once from the file's header.
    void setPictureFile(const QString& file);
    QSize pictureSize() const;

signals:
    void clicked();

protected:
    void showEvent(QShowEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void showPendingPicture();

    QString m_pendingFile;
};

} // namespace velmora
