#pragma once

#include <QByteArray>

// What the print job needs of an open port: how much is waiting, all of it
// at once without waiting for more, and how long the line has been quiet.
class ReceiveBuffer {
public:
    virtual ~ReceiveBuffer() = default;
    virtual qint64 bytesAvailable() = 0;
    virtual QByteArray readAll() = 0;
    // Milliseconds since bytes last arrived, however long ago they were
    // read; -1 when none have arrived.
    virtual qint64 msSinceLastArrival() = 0;
};
