#include "ui/WindowRegistry.h"

#include "ui/VbForm.h"

#include <QWindow>

namespace velmora {
namespace {

// The window manager then keeps the window above the main window and with it: a click on the
// main window, disabled while a settings window is open, can no longer hide the one window
// that takes input. X11 window managers honour the relation only for a dialog's window type.
void makeTransientFor(VbForm* window, QWidget* main)
{
    window->setWindowFlags((window->windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog);
    window->winId(); // the platform window must exist to carry the relation
    main->winId();
    if (QWindow* handle = window->windowHandle())
        handle->setTransientParent(main->windowHandle());
}

} // namespace

void WindowRegistry::add(const QString& name, const Factory& factory)
{
    m_factories.insert(name, factory);
}

VbForm* WindowRegistry::load(const QString& name)
{
    if (VbForm* form = loaded(name))
        return form;
    const auto factory = m_factories.constFind(name);
    if (factory == m_factories.cend() || !m_context)
        return nullptr;
    VbForm* form = (*factory)(*m_context);
    form->setObjectName(name);
    // A window opened from the main window belongs to it; the splash, shown before the main
    // window is, stands alone.
    if (VbForm* main = loaded(m_mainWindow); main && main->isVisible())
        makeTransientFor(form, main);
    m_loaded.insert(name, form);
    form->Form_Load();
    return form;
}

VbForm* WindowRegistry::show(const QString& name)
{
    VbForm* form = load(name);
    if (form && loaded(name) == form) {
        form->show();
        form->raise();
        form->activateWindow();
    }
    return form;
}

QString WindowRegistry::formName(const QMetaObject& metaObject)
{
    const QString name = QString::fromLatin1(metaObject.className());
    return name.mid(name.lastIndexOf(QLatin1Char(':')) + 1);
}

VbForm* WindowRegistry::loaded(const QString& name) const
{
    return m_loaded.value(name).data();
}

void WindowRegistry::setMainWindowEnabled(bool enabled) const
{
    if (VbForm* main = loaded(m_mainWindow))
        main->setEnabled(enabled);
}

void WindowRegistry::forget(VbForm* form)
{
    for (auto it = m_loaded.begin(); it != m_loaded.end();) {
        if (it.value() == form || it.value().isNull())
            it = m_loaded.erase(it);
        else
            ++it;
    }
}

void WindowRegistry::unloadAll()
{
    // The main window last: the windows that hold it off let it go as they unload.
    QList<QPointer<VbForm>> forms = m_loaded.values();
    if (const QPointer<VbForm> main = m_loaded.value(m_mainWindow)) {
        forms.removeAll(main);
        forms.append(main);
    }
    for (const QPointer<VbForm>& form : forms) {
        if (form)
            form->close();
        delete form.data(); // now, not later: the services the window uses may go next
    }
    m_loaded.clear();
}

} // namespace velmora
