#pragma once

#include "app/Form1.h"
#include "support/TestMachine.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

namespace velmora::testing {

inline const QString kWinIni = QStringLiteral("WINDOWS/WIN.INI");

// A window test on a fresh machine: the main window loaded and shown on first use, other
// windows opened through its buttons, controls found by objectName and worked as a user does.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() = default;
    // On a root laid out by layOut instead (a real drive, or a disk image named imageName).
    explicit WindowTest(const std::function<void(const QString& root)>& layOut, const QString& imageName = {})
        : machine(layOut, imageName)
    {
    }

    // Shown, because clicks reach only visible controls.
    Form1* mainWindow()
    {
        auto* form = qobject_cast<Form1*>(machine.app().windows().load(QStringLiteral("Form1")));
        EXPECT_NE(form, nullptr);
        if (form && !form->isVisible())
            form->show();
        return form;
    }

    // Clicks the main window's button; the window it opened becomes the one controls are
    // looked up in.
    template <typename Form> Form* openFrom(const QString& button)
    {
        click(button, mainWindow());
        window = loaded<Form>();
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
    void click(const QString& name, QWidget* in = nullptr)
    {
        if (QWidget* target = control(name, in))
            QTest::mouseClick(target, Qt::LeftButton);
    }
    // Clicks and expects exactly this message box, answered Ok.
    void clickExpecting(const QString& name, const QString& message, MsgIcon icon = MsgIcon::None)
    {
        machine.boxes.expect(message, icon);
        click(name);
        machine.boxes.verifyAllShown();
    }
    // Replaces what a text box or editable list shows: select all, delete, type.
    void type(const QString& name, const QString& text, QWidget* in = nullptr)
    {
        QWidget* target = control(name, in);
        auto* list = qobject_cast<QComboBox*>(target);
        auto* edit = list ? list->lineEdit() : qobject_cast<QLineEdit*>(target);
        ASSERT_NE(edit, nullptr) << name.toStdString() << " takes no typing";
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    // Picks a list's item, which is a Click of the list.
    void pick(const QString& list, const QString& item, QWidget* in = nullptr)
    {
        auto* box = control<QComboBox>(list, in);
        const int index = box ? box->findText(item) : -1;
        ASSERT_GE(index, 0) << list.toStdString() << ": " << item.toStdString();
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    // What each text box or list shows.
    QStringList shownTexts(const QStringList& names, QWidget* in = nullptr)
    {
        QStringList texts;
        for (const QString& name : names)
            if (QWidget* target = control(name, in))
                texts.append(
                    target->property(qobject_cast<QComboBox*>(target) ? "currentText" : "text").toString());
        return texts;
    }
    QString shown(const QString& name, QWidget* in = nullptr) { return shownTexts({name}, in).value(0); }
    // A window's size and caption and each named control in it as the user meets it: kind,
    // place, size, text, tooltip, a list's items, compared with tests/data/windows/NAME.txt
    // (which VELMORA_WRITE_LAYOUTS=1 writes instead, to be read over before it is committed).
    void expectLayout(const QWidget* form, const QString& name)
    {
        QStringList lines{
            QStringLiteral("%1x%2 \"%3\"").arg(form->width()).arg(form->height()).arg(form->windowTitle())};
        for (const QWidget* w : form->findChildren<QWidget*>()) {
            if (w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"))
                continue;
            const auto* list = qobject_cast<const QComboBox*>(w);
            const char* text = list ? "currentText" : w->inherits("QGroupBox") ? "title" : "text";
            QString line = QStringLiteral("%1 %2 %3,%4 %5x%6 \"%7\"")
                               .arg(w->metaObject()->className(), w->objectName(), QString::number(w->x()),
                                    QString::number(w->y()), QString::number(w->width()),
                                    QString::number(w->height()), w->property(text).toString());
            if (!w->toolTip().isEmpty())
                line += QStringLiteral(" tip \"%1\"").arg(w->toolTip());
            if (w->font() != form->font())
                line += QStringLiteral(" font %1pt%2")
                            .arg(w->font().pointSize())
                            .arg(w->font().bold() ? " bold" : "");
            for (int i = 0; list && i < list->count(); ++i)
                line += (i ? u'|' : u' ') + list->itemText(i);
            lines << line;
        }
        QStringList tabOrder;
        for (const QWidget* w = form->nextInFocusChain(); w != form; w = w->nextInFocusChain())
            if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty())
                tabOrder << w->objectName();
        lines << QStringLiteral("tab order: ") + tabOrder.join(u' ');
        const QString file = QStringLiteral(VELMORA_TEST_DATA "/windows/") + name + QStringLiteral(".txt");
        const QByteArray layout = lines.join(u'\n').toUtf8() + '\n';
        if (qEnvironmentVariableIsSet("VELMORA_WRITE_LAYOUTS")) {
            ASSERT_TRUE(writeBytes(file, layout));
        }
        EXPECT_EQ(QString::fromUtf8(readBytes(file)), QString::fromUtf8(layout)) << name.toStdString();
    }

    TestMachine machine;
    QPointer<QWidget> window;
};

} // namespace velmora::testing
