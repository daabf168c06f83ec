#pragma once

#include <QRect>
#include <QSize>
#include <QVector>

class QWidget;

enum class ControlKind { PopupMenu, PushButton, HelpButton, Label, ProgressWheel };

// One control of the main window as designed: where it sits in the content
// area, its place in the focus order and how it looks at creation.
struct ControlRow {
    const char *name;
    ControlKind kind;
    QRect geometry;
    int tabIndex;
    const char *text; // UTF-8
    bool bold;
    int pointSize; // 0: the system font's size
    Qt::Alignment alignment;
    bool visible;
    bool isDefault; // carries the default-button flag
};

// The main window itself as designed.
struct WindowTable {
    const char *title;
    QSize contentSize;
    QSize minimumSize;
    QSize maximumSize;
};

const WindowTable &window1Table();

// The controls of the main window in creation order.
const QVector<ControlRow> &window1Controls();

// Creates the control on the parent at its place, named after the control.
QWidget *createControl(const ControlRow &control, QWidget *parent);
