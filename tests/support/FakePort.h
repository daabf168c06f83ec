#pragma once

#include "serial/PortConnection.h"

#include <QElapsedTimer>

#include <functional>
#include <utility>

// A port the test feeds by hand on the real clock: arrive() is bytes
// arriving as the serial service tells of them.
class FakePort : public PortConnection {
public:
    void arrive(const QByteArray &bytes)
    {
        m_pending += bytes;
        m_lastArrival.start();
        if (m_arrival)
            m_arrival();
    }

    qint64 bytesAvailable() override { return m_pending.size(); }
    QByteArray readAll() override
    {
        if (onRead)
            onRead();
        return std::exchange(m_pending, QByteArray());
    }
    qint64 msSinceLastArrival() override
    {
        return m_lastArrival.isValid() ? m_lastArrival.elapsed() : -1;
    }
    bool open() override
    {
        ++opens;
        return m_open = openWorks;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    // A port that will not open is held by another program.
    int lastErrorCode() const override { return openWorks ? 0 : 2; }
    QString lastErrorText() const override
    {
        return openWorks ? QString() : QStringLiteral("Device or resource busy");
    }
    void setArrivalHandler(std::function<void()> handler) override
    {
        m_arrival = std::move(handler);
    }
    void setLostHandler(std::function<void()> handler) override { m_lost = std::move(handler); }

    // The port fails while open, as an adapter pulled out or a terminal that
    // hangs up: what arrived is still there to read.
    void lose()
    {
        m_open = false;
        if (m_lost)
            m_lost();
    }

    // Runs at the start of each read, before it hands out what has arrived.
    std::function<void()> onRead;
    // Whether open() works, and how often it was called.
    bool openWorks = true;
    int opens = 0;

private:
    QByteArray m_pending;
    QElapsedTimer m_lastArrival;
    bool m_open = true;
    std::function<void()> m_arrival;
    std::function<void()> m_lost;
};
