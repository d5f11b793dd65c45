#pragma once

#include <QHash>
#include <QPointer>
#include <QString>

#include <functional>

namespace velmora {

struct AppContext;
class VbForm;

// Knows every window class of the program by name and which of them are loaded. Opening a
// window that is not loaded creates it and runs its Form_Load; a loaded window is only shown.
// A window that closes is forgotten at once, so the next opening starts afresh. A window opened
// while the main window is on screen is transient for it.
class WindowRegistry {
public:
    using Factory = std::function<VbForm*(AppContext&)>;

    void setContext(AppContext& context) { m_context = &context; }
    void add(const QString& name, const Factory& factory);
    bool knows(const QString& name) const { return m_factories.contains(name); }

    // Loads the window when needed (nullptr for a window the program does not have).
    VbForm* load(const QString& name);
    // Makes the window visible, modeless, loading it first when needed.
    VbForm* show(const QString& name);
    VbForm* loaded(const QString& name) const;

    template <typename Form> Form* find() const
    {
        return qobject_cast<Form*>(loaded(formName(Form::staticMetaObject)));
    }

    // A window class's name without its namespace: "Form1".
    static QString formName(const QMetaObject& metaObject);

    // The start-up window, which the secondary windows switch off and on.
    void setMainWindowName(const QString& name) { m_mainWindow = name; }
    void setMainWindowEnabled(bool enabled) const;

    // Called by a window as it unloads.
    void forget(VbForm* form);
    // Closes every loaded window (end of a test or of the run).
    void unloadAll();

private:
    AppContext* m_context = nullptr;
    QHash<QString, Factory> m_factories;
    QHash<QString, QPointer<VbForm>> m_loaded;
    QString m_mainWindow = QStringLiteral("Form1");
};

} // namespace velmora
