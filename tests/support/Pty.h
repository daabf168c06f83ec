#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <termios.h>

// A pseudo-terminal pair in raw mode. The test writes on the master side;
// the program opens the slave by its path like a serial port. The slave
// stays open here too, so its termios can be read back and its input is
// not flushed when the program closes it.
//
// As a terminal for a program's output, a child started through ProgramRun
// takes slaveHandle() as its standard error; the test reads what it wrote
// with readAvailable().
class Pty {
public:
    Pty();
    // Another program's terminal (pc1600-sim's pseudo-terminal), held by
    // its slave side only: opened before the program under test locks the
    // device, so the line settings that program applies can be read back.
    explicit Pty(const QString &slaveOfAnother);
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    // Both sides (until closeMaster()); for another program's terminal,
    // its slave side.
    bool isOpen() const { return m_ownPair ? m_master >= 0 : m_slave >= 0; }
    QString slavePath() const { return m_slavePath; }
    int slaveHandle() const { return m_slave; }

    // Writes what fits without blocking; -1 on error.
    qint64 write(const QByteArray &bytes);
    // Writes everything; while the pty is full, lets the event loop run so
    // a reader in this thread can take bytes. False on error or timeout.
    // The bytes reach the reader a moment after this returns: to know they
    // are there, wait for the reader (deliver() in SerialOnPty.h).
    bool writeAll(const QByteArray &bytes, int timeoutMs = 10000);
    // Writes bytes that fit the reader's queue (4 KB) and waits, without a
    // turn of the event loop, until they are in it: a reader that asks
    // next finds them there, just arrived. False on error or timeout.
    bool arrive(const QByteArray &bytes, int timeoutMs = 10000);
    // The device vanishes for the reader: it sees a hang-up.
    void closeMaster();
    // What the program on the slave side wrote, as far as it has come;
    // never waits.
    QByteArray readAvailable();

    // Bytes waiting in the reader's queue. A write reaches that queue a
    // moment after it returns, so 0 alone does not mean "taken".
    int pendingForReader() const;
    // Waits, without a turn of the event loop (so no reader in this thread
    // takes them), until the reader's queue holds at least that many
    // bytes. For writes that fit the queue (4 KB).
    bool waitUntilPending(int bytes, int timeoutMs = 10000) const;
    // Lets the event loop run until the reader's queue has stayed empty
    // for a while: everything written so far has been taken.
    bool waitUntilTaken(int timeoutMs = 5000) const;

    // The line settings on the slave side, as a program left them.
    std::optional<termios> slaveTermios() const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    bool m_ownPair = true;
};
