#pragma once

#include "app/Window1.h"
#include "serial/PortList.h"
#include "serial/PortWatcher.h"
#include "support/FakeToolkit.h"
#include "support/Pty.h"
#include "support/RecordingPrinter.h"

#include <initializer_list>
#include <memory>

// A fixed list of ports standing in for the machine's.
class ListedPorts : public PortEnumerator {
public:
    QVector<PortDescriptor> ports() const override
    {
        ++calls;
        return list;
    }
    // Pseudo-terminals as the machine's ports, named "A", "B", ... in
    // order; false when one of them is not open.
    bool listPtys(std::initializer_list<const Pty *> ptys)
    {
        list.clear();
        for (const Pty *pty : ptys) {
            if (!pty->isOpen())
                return false;
            list.append({QString(QChar(char('A' + list.size()))), pty->slavePath()});
        }
        return true;
    }

    QVector<PortDescriptor> list;
    mutable int calls = 0;
};

// Stands in for the watch on the device folders: the test says when the
// system's ports changed.
class TriggeredPortWatcher : public PortWatcher {
public:
    void setChangeHandler(std::function<void()> handler) override
    {
        m_handler = std::move(handler);
    }
    bool isWatched() const { return bool(m_handler); }
    // What the watch does once the system has settled.
    void portsChanged()
    {
        if (m_handler)
            m_handler();
    }

private:
    std::function<void()> m_handler;
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
    TriggeredPortWatcher portWatcher;

    WindowServices services() { return {&msgBox, &printing, &pause, &yield, &ports, &portWatcher}; }

    // A window built and opened in the given language.
    std::unique_ptr<Window1> openWindow(const QString &language = QStringLiteral("ger"))
    {
        auto window = std::make_unique<Window1>(services());
        window->setOpenLanguage(language);
        window->open();
        return window;
    }
};
