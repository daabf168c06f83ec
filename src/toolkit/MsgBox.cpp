#include "toolkit/MsgBox.h"

#include <QApplication>
#include <QMessageBox>

void QtMsgBox::show(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
