#include "support/WindowTest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

namespace velmora::testing {

QByteArray dword(quint32 number)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((number >> (8 * i)) & 0xFF);
    return bytes;
}

Form1* WindowTest::mainWindow()
{
    auto* form = qobject_cast<Form1*>(machine.app().windows().load(QStringLiteral("Form1")));
    EXPECT_NE(form, nullptr);
    if (form && !form->isVisible())
        form->show();
    return form;
}

void WindowTest::click(const QString& name, QWidget* in)
{
    if (QWidget* target = control(name, in))
        QTest::mouseClick(target, Qt::LeftButton);
}

void WindowTest::type(const QString& name, const QString& text, QWidget* in)
{
    QWidget* target = control(name, in);
    auto* edit = qobject_cast<QLineEdit*>(target);
    if (auto* list = qobject_cast<QComboBox*>(target))
        edit = list->lineEdit();
    ASSERT_NE(edit, nullptr) << name.toStdString() << " takes no typing";
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    if (text.toLatin1() == text.toUtf8())
        QTest::keyClicks(edit, text);
    else
        edit->insert(text); // QTest types ASCII only
}

void WindowTest::pick(const QString& list, const QString& item, QWidget* in)
{
    auto* box = control<QComboBox>(list, in);
    ASSERT_NE(box, nullptr);
    const int index = box->findText(item);
    ASSERT_GE(index, 0) << item.toStdString();
    box->setCurrentIndex(index);
    emit box->activated(index);
}

QString WindowTest::shown(const QString& name, QWidget* in)
{
    QWidget* target = control(name, in);
    if (auto* list = qobject_cast<QComboBox*>(target))
        return list->currentText();
    if (auto* edit = qobject_cast<QLineEdit*>(target))
        return edit->text();
    return target ? target->property("text").toString() : QString();
}

} // namespace velmora::testing
