#pragma once

#include "serial/ReceiveBuffer.h"

#include <QList>
#include <QPair>

#include <functional>

// A port fed by a script of arrivals on a clock of its own, for the drain's
// logic without a pseudo-terminal: bytes scheduled at or before nowMs have
// arrived; the test moves the clock on, usually from the drain's pause.
class ScriptedPort : public ReceiveBuffer {
public:
    // Bytes that arrive at atMs on this port's clock (negative: before the
    // press, which comes at 0).
    void arrive(qint64 atMs, const QByteArray &bytes) { m_script.append({atMs, bytes}); }
    void advance(qint64 ms) { nowMs += ms; }

    qint64 bytesAvailable() override
    {
        ++countCalls;
        qint64 count = 0;
        for (const auto &[at, bytes] : std::as_const(m_script))
            count += at <= nowMs ? bytes.size() : 0;
        return count;
    }
    QByteArray readAll() override
    {
        ++readCalls;
        readsAtMs << nowMs;
        if (onRead)
            onRead();
        QByteArray out;
        while (!m_script.isEmpty() && m_script.constFirst().first <= nowMs) {
            const auto [at, bytes] = m_script.takeFirst();
            m_lastArrivalMs = at;
            m_anyArrived = true;
            out += bytes;
        }
        return out;
    }
    // Counts the bytes still unread too: the serial service notes an
    // arrival when it takes bytes in, not when they are read.
    qint64 msSinceLastArrival() override
    {
        qint64 last = m_anyArrived ? m_lastArrivalMs : -1;
        bool any = m_anyArrived;
        for (const auto &[at, bytes] : std::as_const(m_script)) {
            if (at <= nowMs) {
                last = any ? std::max(last, at) : at;
                any = true;
            }
        }
        return any ? nowMs - last : -1;
    }

    qint64 nowMs = 0;
    int countCalls = 0;
    int readCalls = 0;
    QList<qint64> readsAtMs;
    std::function<void()> onRead;

private:
    QList<QPair<qint64, QByteArray>> m_script; // in order of arrival
    qint64 m_lastArrivalMs = 0;
    bool m_anyArrived = false;
};
