#pragma once

#include <QLabel>

namespace velmora {

// A picture control: shows an image and reports clicks, like the original Image controls.
class ClickablePicture : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace velmora
