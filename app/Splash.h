#pragma once

#include "ui/VbForm.h"

class QTimer;

namespace velmora {

class ClickablePicture;

// The picture shown while the main window loads. It keeps the main window hidden and goes
// away after two seconds, or at once when its picture is clicked; then the main window shows.
class splash : public VbForm {
    Q_OBJECT
public:
    explicit splash(AppContext& context);

    void Form_Load() override;
    void Form_Unload() override;

public slots:
    void Image1_Click();
    void Timer1_Timer();

private:
    QWidget* mainWindow() const;

    ClickablePicture* m_image1;
    QTimer* m_timer1;
};

} // namespace velmora
