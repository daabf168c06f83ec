#pragma once

#include "serial/LineSettings.h"
#include "serial/PortConnection.h"
#include "serial/PortList.h"

#include <QByteArray>

#include <functional>
#include <memory>

class QSerialPort;

// One serial connection. Line settings take effect at the next open().
// While open, received bytes collect in an unbounded buffer that keeps
// filling whenever the event loop runs.
class Serial : public PortConnection {
public:
    Serial();
    ~Serial() override;
    Serial(const Serial &) = delete;
    Serial &operator=(const Serial &) = delete;

    void setSerialPort(const PortDescriptor &port);
    PortDescriptor serialPort() const;

    void setLineSettings(const LineSettings &settings);
    const LineSettings &lineSettings() const;

    bool open() override;
    void close() override; // no effect when closed already
    bool isOpen() const override;
    int lastErrorCode() const override; // QSerialPort::SerialPortError of the last failure
    QString lastErrorText() const override;

    // Counts bytes the OS holds too, not only those already pulled.
    qint64 bytesAvailable() override;
    QByteArray readAll() override;
    qint64 msSinceLastArrival() override;

    // The open port failed (unplugged, hung up) and was closed; what it had
    // received is kept for the next read. Cleared by open() and close().
    bool isLost() const;

    void setArrivalHandler(std::function<void()> handler) override;
    void setLostHandler(std::function<void()> handler) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The window's connection; adds nothing to Serial.
class TestSerial : public Serial { };
