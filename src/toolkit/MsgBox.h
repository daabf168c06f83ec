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
    explicit QtMsgBox(QWidget *parent = nullptr) : m_parent(parent) { }
    void show(const QString &text) override;

private:
    QWidget *m_parent;
};
