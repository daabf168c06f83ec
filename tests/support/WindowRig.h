#pragma once

#include "app/Window1.h"
#include "serial/PortList.h"
#include "support/FakeToolkit.h"
#include "support/RecordingPrinter.h"

#include <memory>

// A fixed list of ports standing in for the machine's.
class ListedPorts : public PortEnumerator {
public:
    QVector<PortDescriptor> ports() const override
    {
        ++calls;
        return list;
    }
    QVector<PortDescriptor> list;
    mutable int calls = 0;
};

// Everything a main window needs from outside, recorded; no modal box and
// no real dialog. The drain's pause is real: its quiet time runs on the
// port's clock.
struct WindowRig {
    RecordingMsgBox msgBox;
    RecordingPrintService printing;
    CountingPause pause {false};
    CountingYield yield;
    ListedPorts ports;

    WindowServices services() { return {&msgBox, &printing, &pause, &yield, &ports}; }

    // A window built and opened in the given language.
    std::unique_ptr<Window1> openWindow(const QString &language = QStringLiteral("ger"))
    {
        auto window = std::make_unique<Window1>(services());
        window->setOpenLanguage(language);
        window->open();
        return window;
    }
};
