#include "app/Quit.h"

#include <QApplication>

void requestQuit(int status)
{
    QApplication::closeAllWindows();
    QCoreApplication::exit(status);
}
