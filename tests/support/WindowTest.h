#pragma once

#include "app/Form1.h"
#include "support/TestMachine.h"

#include <QPointer>

#include <gtest/gtest.h>

namespace velmora::testing {

// A number value's four bytes as the registry keeps them (little-endian).
QByteArray dword(quint32 number);

inline const QString kWinIni = QStringLiteral("WINDOWS/WIN.INI");

// A window test on a fresh machine: the main window loaded and shown on first use, other
// windows opened through its buttons, controls found by objectName and worked as a user does.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() = default;
    // On a root laid out by layOut instead (a real drive, say).
    explicit WindowTest(const std::function<void(const QString& root)>& layOut) : machine(layOut) {}
    // Forgets the user's settings (CTest gives each program a config home of its own).
    ~WindowTest() override;

    // Shown, because clicks reach only visible controls.
    Form1* mainWindow();

    // Clicks the main window's button; the window it opened becomes the one controls are
    // looked up in.
    template <typename Form> Form* openFrom(const QString& button)
    {
        click(button, mainWindow());
        window = loaded<Form>();
        EXPECT_NE(window, nullptr) << "nothing opened from " << button.toStdString();
        return loaded<Form>();
    }
    template <typename Form> Form* loaded() { return machine.app().windows().find<Form>(); }

    // Looks in `in`, else in the opened window while it is on screen, else in the main window.
    template <typename T = QWidget> T* control(const QString& name, QWidget* in = nullptr)
    {
        QWidget* parent = in ? in : window && window->isVisible() ? window.data() : mainWindow();
        T* found = parent ? parent->findChild<T*>(name) : nullptr;
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    void click(const QString& name, QWidget* in = nullptr);
    // Clicks and expects exactly this message box, answered Ok.
    void clickExpecting(const QString& name, const QString& message, MsgIcon icon = MsgIcon::None);
    // Replaces what a text box or editable list shows: select all, delete, type.
    void type(const QString& name, const QString& text, QWidget* in = nullptr);
    // Picks a list's item, which is a Click of the list.
    void pick(const QString& list, const QString& item, QWidget* in = nullptr);
    // What a text box or list shows.
    QString shown(const QString& name, QWidget* in = nullptr);
    QStringList shownTexts(const QStringList& names, QWidget* in = nullptr);

    TestMachine machine;
    QPointer<QWidget> window;
};

} // namespace velmora::testing
