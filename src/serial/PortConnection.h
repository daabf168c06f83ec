#pragma once

#include "serial/ReceiveBuffer.h"

#include <QString>

#include <functional>

// An open-able port that tells when bytes arrive and when it is lost: what
// an unattended capture needs of its connection.
class PortConnection : public ReceiveBuffer {
public:
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Why the last open() failed: Qt's error number, and the system's words.
    virtual int lastErrorCode() const { return 0; }
    virtual QString lastErrorText() const { return {}; }
    // Called when new bytes have arrived (from the event loop, or from inside
    // a read that pulls them), and once, from the event loop, when an open
    // port is lost.
    virtual void setArrivalHandler(std::function<void()> handler) = 0;
    virtual void setLostHandler(std::function<void()> handler) = 0;
};
