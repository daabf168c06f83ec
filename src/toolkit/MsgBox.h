#pragma once

#include <QString>

class QWidget;

// A modal message box with one button that shows its text unchanged.
class MsgBox {
public:
    virtual ~MsgBox() = default;
    virtual void show(const QString &text) = 0;
};

class QtMsgBox : public MsgBox {
public:
    QtMsgBox(QWidget *parent, const QString &title) : m_parent(parent), m_title(title) { }
    void show(const QString &text) override;

private:
    QWidget *m_parent;
    QString m_title;
};
