#include "toolkit/MsgBox.h"

#include <QApplication>
#include <QMessageBox>

void QtMsgBox::show(const QString &text)
{
    // Titled with the program's name; with a parent it is that window's
    // box, centred over it and blocking only it.
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    if (m_parent)
        box.setWindowModality(Qt::WindowModal);
    box.exec();
}
