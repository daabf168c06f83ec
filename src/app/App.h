#pragma once

#include <QApplication>

// The application object. It sets no display name: desktop platforms append
// one to every window title, and the main window's title bar must read
// exactly as designed. Its message boxes carry the program's name instead.
class App : public QApplication {
public:
    App(int &argc, char **argv) : QApplication(argc, argv) { }

    // The program's name as a person writes it, the title of its boxes.
    static QString displayName() { return QStringLiteral("Tessary"); }
};
