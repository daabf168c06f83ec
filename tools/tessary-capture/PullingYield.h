#pragma once

#include "serial/Serial.h"
#include "toolkit/Waiting.h"

#include <QElapsedTimer>

// Drawing a long PDF keeps the event loop waiting. Now and then this takes
// what the system holds for the port into the port's own unbounded buffer,
// so the system's small one cannot overflow meanwhile.
class PullingYield : public Yield {
public:
    explicit PullingYield(Serial &serial) : m_serial(serial) { m_clock.start(); }
    void yield() override
    {
        if (m_clock.elapsed() < kEveryMs)
            return;
        m_serial.bytesAvailable();
        m_clock.restart();
    }

private:
    static constexpr qint64 kEveryMs = 20;
    Serial &m_serial;
    QElapsedTimer m_clock;
};
