#pragma once

#include <QByteArray>

// What the print job needs of an open port: how much is waiting, and all of
// it at once, without waiting for more.
class ReceiveBuffer {
public:
    virtual ~ReceiveBuffer() = default;
    virtual qint64 bytesAvailable() = 0;
    virtual QByteArray readAll() = 0;
};
