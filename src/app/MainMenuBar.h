#pragma once

#include <QMenuBar>

// The one menu bar of the program: File > Quit and the standard Edit items.
class MainMenuBar : public QMenuBar {
    Q_OBJECT
public:
    // The shared instance, created on the first call.
    static MainMenuBar *instance();

private:
    MainMenuBar();
};
