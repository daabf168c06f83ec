#include "toolkit/MsgBox.h"

#include <QMessageBox>

void QtMsgBox::show(const QString &text)
{
    // With a parent it is that window's box, centred over it and blocking
    // only it.
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    if (m_parent)
        box.setWindowModality(Qt::WindowModal);
    box.exec();
}
