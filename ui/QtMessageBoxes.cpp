#include "ui/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace velmora {

MsgAnswer QtMessageBoxes::show(const QString& text, MsgIcon icon, MsgButtons buttons)
{
    static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Warning,
                                                   QMessageBox::Question, QMessageBox::Critical};
    QMessageBox box(kIcons[int(icon)], QStringLiteral("Velmora"), text,
                    buttons == MsgButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    const int answer = box.exec();
    if (buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

} // namespace velmora
