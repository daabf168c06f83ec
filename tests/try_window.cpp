// The real window, as the program starts it, with extra ports in its list:
// for trying it by hand or from a script on a desktop or under Xvfb with a
// pseudo-terminal standing in for the serial port, which the system's list
// never shows.
//
//   try_window PATH...
//
// Each PATH (say the /dev/pts/N that `pc1600-sim --pty` prints) is listed
// beside the system's ports under its file name. Everything else is the
// program's own: message boxes, dialogs, pause, the watch on /dev.

#include "app/App.h"
#include "app/MainMenuBar.h"
#include "app/WhenExposed.h"
#include "app/Window1.h"
#include "serial/PortList.h"

#include <QFileInfo>

int main(int argc, char *argv[])
{
    App app(argc, argv);
    QStringList extra = QCoreApplication::arguments().mid(1);
    SystemPortEnumerator ports([extra] {
        QVector<PortDescriptor> list = machinePorts();
        for (const QString &path : extra) {
            PortDescriptor port;
            port.name = QFileInfo(path).fileName();
            port.location = path;
            port.description = QStringLiteral("pseudo-terminal");
            list.append(port);
        }
        return list;
    });
    MainMenuBar::instance();
    WindowServices services;
    services.ports = &ports;
    Window1 window(services);
    window.show();
    callWhenExposed(&window, [&window] { window.open(); });
    return app.exec();
}
