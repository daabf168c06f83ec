#pragma once

#include <QApplication>

// The application object; nothing of its own beyond QApplication.
class App : public QApplication {
public:
    App(int &argc, char **argv) : QApplication(argc, argv) { }
};

// The registered application object, or nullptr when it is no App.
inline App *theApp()
{
    return dynamic_cast<App *>(QCoreApplication::instance());
}
