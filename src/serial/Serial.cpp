#include "serial/Serial.h"

#include <QElapsedTimer>
#include <QSerialPort>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace {

QSerialPort::FlowControl flowControlFor(bool cts, bool xon)
{
    if (cts)
        return QSerialPort::HardwareControl;
    if (xon)
        return QSerialPort::SoftwareControl;
    return QSerialPort::NoFlowControl;
}

// QSerialPort has no setting for both handshakes at once.
bool addSoftwareHandshake(int handle)
{
    termios tio {};
    if (::tcgetattr(handle, &tio) != 0)
        return false;
    tio.c_iflag |= IXON | IXOFF;
    return ::tcsetattr(handle, TCSANOW, &tio) == 0;
}

// A read that finds nothing is what a hung-up line gives, but also what
// QSerialPort's own notification gets when another reader took the bytes
// earlier in the same turn of the event loop (a stop, a timer). Only the
// line itself tells the two apart: a hung-up one says so when asked.
bool lineIsDown(int handle)
{
    pollfd line {handle, POLLIN, 0};
    return ::poll(&line, 1, 0) < 0 || (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

struct Serial::Private {
    void portFailed();
    void closeFailedPort();
    void reportLost();
    void pull();
    void noteArrival();

    QSerialPort port;
    PortDescriptor descriptor;
    LineSettings line;
    // What the last open() ended with, and whether one is setting the port up.
    int lastError = QSerialPort::NoError;
    QString lastErrorText;
    bool configuring = false;
    bool failed = false;
    // Bytes rescued from a port that failed while open, until read, and
    // where they came from.
    QByteArray held;
    QString heldFrom;
    QString location; // of the port last opened
    QElapsedTimer lastArrival; // invalid until bytes arrive
    bool lostReported = false;
    std::function<void()> arrivalHandler;
    std::function<void()> lostHandler;
};

// A vanished device keeps its read notifier firing: a hang-up comes as a
// ReadError that Qt keeps watching (measured on a pty), so the port must go. Its bytes are rescued
// first: close() would drop them.
void Serial::Private::portFailed()
{
    if (failed || !port.isOpen())
        return;
    failed = true;
    heldFrom = location;
    held += port.readAll();
    // Closing inside QSerialPort's own notification is not safe: close on
    // the next turn of the event loop, or at the next call, whichever is
    // first. Whoever listens hears of it on that turn, never from inside a
    // read.
    QMetaObject::invokeMethod(
        &port,
        [this] {
            closeFailedPort();
            reportLost();
        },
        Qt::QueuedConnection);
}

void Serial::Private::reportLost()
{
    if (!failed || lostReported)
        return;
    lostReported = true;
    if (lostHandler)
        lostHandler();
}

void Serial::Private::noteArrival()
{
    lastArrival.start();
}

void Serial::Private::closeFailedPort()
{
    if (!failed || !port.isOpen())
        return;
    held += port.readAll();
    port.close();
}

// Takes into QSerialPort's buffer what the OS holds; without a running
// event loop nothing else would. A sender as fast as the reader would keep
// one pull going as long as it sends, and the whole stream would sit in
// QSerialPort's buffer and then again in the caller's copy: a megabyte
// pulled is enough for one read.
void Serial::Private::pull()
{
    constexpr qint64 kMostPulled = 1 << 20;
    closeFailedPort();
    // Qt tells no arrival of bytes pulled within its own arrival signal:
    // each pull is one, or a fast sender would look quiet to the reader.
    while (port.isOpen() && !failed && port.bytesAvailable() < kMostPulled &&
           port.waitForReadyRead(0))
        noteArrival();
    closeFailedPort();
}

Serial::Serial() : d(std::make_unique<Private>())
{
    d->port.setReadBufferSize(0);
    QObject::connect(&d->port, &QSerialPort::readyRead, &d->port, [this] {
        d->noteArrival();
        if (d->arrivalHandler)
            d->arrivalHandler();
    });
    QObject::connect(&d->port, &QSerialPort::errorOccurred, &d->port,
                     [this](QSerialPort::SerialPortError error) {
                         if (d->configuring)
                             return;
                         // Qt reports a read that would block (EAGAIN) as a
                         // ResourceError too: only the line tells a lost port.
                         const bool readFailed =
                             error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
                         if (readFailed && lineIsDown(int(d->port.handle())))
                             d->portFailed();
                         else if (readFailed)
                             d->port.clearError();
                     });
}

Serial::~Serial() = default;

void Serial::setSerialPort(const PortDescriptor &port)
{
    d->descriptor = port;
}
PortDescriptor Serial::serialPort() const
{
    return d->descriptor;
}

void Serial::setLineSettings(const LineSettings &settings)
{
    d->line = settings;
}
const LineSettings &Serial::lineSettings() const
{
    return d->line;
}

bool Serial::open()
{
    const QString location = d->descriptor.path();
    // Bytes rescued from this very port when it vanished wait for the next
    // read: reopening an adapter that was plugged back in must not lose them.
    QByteArray rescued;
    if (d->heldFrom == location)
        rescued = std::move(d->held);
    const QElapsedTimer rescuedArrival = d->lastArrival;
    close();
    d->held = std::move(rescued);
    d->heldFrom = d->held.isEmpty() ? QString() : location;
    if (!d->held.isEmpty())
        d->lastArrival = rescuedArrival;

    d->location = location;
    d->port.setPortName(location);
    const LineSettings &line = d->line;
    d->port.setBaudRate(line.baud);
    d->port.setDataBits(line.dataBits);
    d->port.setParity(line.parity);
    d->port.setStopBits(line.stopBits);
    d->port.setFlowControl(flowControlFor(line.cts, line.xon));

    d->configuring = true;
    const bool opened = d->port.open(QIODevice::ReadOnly);
    if (!opened) {
        d->lastError = d->port.error();
        d->lastErrorText = d->port.errorString();
        d->configuring = false;
        d->port.clearError();
        return false;
    }
    // Qt marks the tty for this program alone (TIOCEXCL). Killed while the
    // line's other end stays open (a pseudo-terminal), it would leave the
    // mark, and every later open but root's fails. Qt's lock file keeps two
    // programs apart all the same, and is taken over from one that died.
    ::ioctl(int(d->port.handle()), TIOCNXCL);
    // A pseudo-terminal has no modem lines; that must not fail the open.
    d->port.setDataTerminalReady(line.dtr);
    if (line.cts && line.xon)
        addSoftwareHandshake(int(d->port.handle()));
    d->port.clearError();
    d->configuring = false;
    d->lastError = QSerialPort::NoError;
    return true;
}

void Serial::close()
{
    d->held.clear();
    d->heldFrom.clear();
    d->failed = false;
    d->lostReported = false;
    d->lastArrival.invalidate();
    if (d->port.isOpen())
        d->port.close();
    d->port.clearError();
}

bool Serial::isOpen() const
{
    return d->port.isOpen() && !d->failed;
}

int Serial::lastErrorCode() const
{
    return d->lastError;
}

QString Serial::lastErrorText() const
{
    return d->lastErrorText;
}

qint64 Serial::bytesAvailable()
{
    d->pull();
    return d->held.size() + (d->port.isOpen() ? d->port.bytesAvailable() : 0);
}

QByteArray Serial::readAll()
{
    d->pull();
    QByteArray bytes = std::move(d->held);
    d->held.clear();
    if (d->port.isOpen())
        bytes += d->port.readAll();
    return bytes;
}

qint64 Serial::msSinceLastArrival()
{
    d->pull();
    return d->lastArrival.isValid() ? d->lastArrival.elapsed() : -1;
}

bool Serial::isLost() const
{
    return d->failed;
}

void Serial::setArrivalHandler(std::function<void()> handler)
{
    d->arrivalHandler = std::move(handler);
}

void Serial::setLostHandler(std::function<void()> handler)
{
    d->lostHandler = std::move(handler);
}
