#include "support/WindowTest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <QtEndian>

namespace velmora::testing {

QByteArray dword(quint32 number)
{
    const quint32 little = qToLittleEndian(number);
    return QByteArray(reinterpret_cast<const char*>(&little), 4);
}

WindowTest::~WindowTest()
{
    QSettings settings(QStringLiteral("Velmora"), QStringLiteral("Velmora"));
    settings.clear();                              // saved as it goes
    QDir(settings.fileName()).removeRecursively(); // a folder a test put where the file belongs
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

void WindowTest::clickExpecting(const QString& name, const QString& message, MsgIcon icon)
{
    machine.boxes().expect(message, icon);
    click(name);
    machine.boxes().verifyAllShown();
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
    QTest::keyClicks(edit, text);
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
    return target ? target->property(qobject_cast<QComboBox*>(target) ? "currentText" : "text").toString()
                  : QString();
}

QStringList WindowTest::shownTexts(const QStringList& names, QWidget* in)
{
    QStringList texts;
    for (const QString& name : names)
        texts.append(shown(name, in));
    return texts;
}

} // namespace velmora::testing
