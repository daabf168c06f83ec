#include "app/WindowServices.h"

#include "app/App.h"
#include "serial/PortList.h"
#include "serial/PortWatcher.h"
#include "toolkit/MsgBox.h"
#include "toolkit/QtPrinting.h"
#include "toolkit/Waiting.h"

struct QtWindowServices::Private {
    explicit Private(QWidget *window) : msgBox(window, App::displayName()) { }
    QtMsgBox msgBox;
    QtPrintService printService;
    QtPause pause;
    QtYield yield;
    SystemPortEnumerator ports;
    SystemPortWatcher portWatcher;
};

QtWindowServices::QtWindowServices(QWidget *window) : d(std::make_unique<Private>(window)) { }

QtWindowServices::~QtWindowServices() = default;

WindowServices QtWindowServices::services() const
{
    return {&d->msgBox, &d->printService, &d->pause, &d->yield, &d->ports, &d->portWatcher};
}
