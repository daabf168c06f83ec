#include "app/App.h"
#include "app/MainMenuBar.h"
#include "app/Window1.h"

int main(int argc, char *argv[])
{
    App app(argc, argv);
    MainMenuBar::instance();
    Window1::instance();
    return app.exec();
}
