#include "ui/VbForm.h"

#include "ui/AppContext.h"
#include "ui/WindowRegistry.h"

#include <QCloseEvent>

namespace velmora {

VbForm::VbForm(AppContext& context) : QWidget(nullptr), m_context(context)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void VbForm::closeEvent(QCloseEvent* event)
{
    // A window held off by another (the main window while a settings window is open) takes no
    // input, its close box included: it would unload under the window that holds it off.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    if (!m_unloaded) {
        m_unloaded = true;
        m_context.windows.forget(this);
        Form_Unload();
    }
    event->accept();
}

void VbForm::disableMainWindow()
{
    m_context.windows.setMainWindowEnabled(false);
}
void VbForm::enableMainWindow()
{
    m_context.windows.setMainWindowEnabled(true);
}

} // namespace velmora
