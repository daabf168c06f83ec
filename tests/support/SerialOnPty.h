#pragma once

#include "serial/ReceiveBuffer.h"
#include "serial/Serial.h"
#include "support/Pty.h"

#include <QTest>

// Writes the bytes on the pseudo-terminal and waits until the port that
// reads its other side holds them too. A write reaches the reader a moment
// after it returns (the kernel hands it on from a work queue, later still
// on a busy machine): a port asked at once may not have it yet.
inline bool deliver(Pty &pty, ReceiveBuffer &port, const QByteArray &bytes, int timeoutMs = 10000)
{
    const qint64 before = port.bytesAvailable();
    return pty.writeAll(bytes, timeoutMs) &&
        QTest::qWaitFor([&] { return port.bytesAvailable() >= before + bytes.size(); }, timeoutMs);
}

// A serial connection open on a fresh pseudo-terminal: the test sends on
// the master side what a PC-1600 would.
struct SerialOnPty {
    Pty pty;
    Serial serial;

    SerialOnPty() { serial.setSerialPort({QStringLiteral("pty"), pty.slavePath()}); }
    bool open() { return pty.isOpen() && serial.open(); }
    bool deliver(const QByteArray &bytes, int timeoutMs = 10000)
    {
        return ::deliver(pty, serial, bytes, timeoutMs);
    }
};
