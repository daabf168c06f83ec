#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <termios.h>

// A pseudo-terminal pair in raw mode. The test writes on the master side;
// the program opens the slave by its path like a serial port. The slave
// stays open here too, so its termios can be read back and its input is
// not flushed when the program closes it.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Writes what fits without blocking; -1 on error.
    qint64 write(const QByteArray &bytes);
    // Writes everything; while the pty is full, lets the event loop run so
    // a reader in this thread can take bytes. False on error or timeout.
    bool writeAll(const QByteArray &bytes, int timeoutMs = 10000);
    // The device vanishes for the reader: it sees a hang-up.
    void closeMaster();
    // Bytes waiting in the reader's queue. A write reaches that queue a
    // moment after it returns, so 0 alone does not mean "taken".
    int pendingForReader() const;
    // Lets the event loop run until the reader's queue has stayed empty
    // for a while: everything written so far has been taken.
    bool waitUntilTaken(int timeoutMs = 5000) const;

    std::optional<termios> slaveTermios() const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
