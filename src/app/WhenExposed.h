#pragma once

#include <functional>

class QWidget;

// Calls `call` once the shown top-level widget is first on the screen. By
// then the window manager has placed it: a box centred over a window it has
// not placed yet lands where the window was before it moved.
void callWhenExposed(QWidget *widget, std::function<void()> call);
