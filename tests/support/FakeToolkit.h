#pragma once

#include "toolkit/BusyIndicator.h"
#include "toolkit/MsgBox.h"
#include "toolkit/Waiting.h"

#include <QStringList>
#include <functional>

// Records every message instead of showing a modal box.
class RecordingMsgBox : public MsgBox {
public:
    void show(const QString &text) override
    {
        shown << text;
        if (onShow)
            onShow(text);
    }
    QStringList shown;
    std::function<void(const QString &)> onShow;
};

// Records each change of the busy indicator.
class RecordingBusy : public BusyIndicator {
public:
    void setBusy(bool busy) override
    {
        busyNow = busy;
        changes << busy;
    }
    bool busyNow = false;
    QList<bool> changes;
};

// Counts pauses; runs the real pause unless made instant, and calls a hook
// at each pause so a test can feed the port in between, and another once it
// is over.
class CountingPause : public Pause {
public:
    explicit CountingPause(bool instant = true) : m_instant(instant) { }
    void sleep(int milliseconds) override
    {
        ++count;
        lastMs = milliseconds;
        if (onPause)
            onPause(count);
        if (!m_instant)
            m_real.sleep(milliseconds);
        if (afterPause)
            afterPause(count);
    }
    int count = 0;
    int lastMs = 0;
    std::function<void(int)> onPause;
    std::function<void(int)> afterPause;

private:
    bool m_instant;
    QtPause m_real;
};

class CountingYield : public Yield {
public:
    void yield() override { ++count; }
    long long count = 0;
};
