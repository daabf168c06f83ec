#pragma once

#include <memory>

class MsgBox;
class PrintService;
class Pause;
class Yield;
class PortEnumerator;
class PortWatcher;
class QWidget;

// What the main window reaches outside itself: modal boxes, printing,
// waiting, the machine's ports and the news that they changed. Tests pass
// their own.
struct WindowServices {
    MsgBox *msgBox = nullptr;
    PrintService *printService = nullptr;
    Pause *pause = nullptr;
    Yield *yield = nullptr;
    PortEnumerator *ports = nullptr;
    PortWatcher *portWatcher = nullptr;
};

// The real services of the desktop, for the program.
class QtWindowServices {
public:
    explicit QtWindowServices(QWidget *window);
    ~QtWindowServices();
    WindowServices services() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
