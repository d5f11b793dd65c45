#include "app/VbForm.h"

#include "app/AppContext.h"
#include "app/WindowRegistry.h"

#include <QCloseEvent>

namespace velmora {

VbForm::VbForm(AppContext& context) : QWidget(nullptr), m_context(context)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void VbForm::closeEvent(QCloseEvent* event)
{
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
