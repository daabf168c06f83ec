#include "support/Pty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

Pty::Pty()
{
    char name[PATH_MAX] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // A program the test starts must not inherit either side: a master
    // held by a child never hangs up, and a slave it holds is not its own open.
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    // Raw before anything is written: no echo, no CR translation, no line buffering.
    termios tio {};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

Pty::Pty(const QString &slaveOfAnother)
    : m_slave(::open(QFile::encodeName(slaveOfAnother).constData(),
                     O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)),
      m_slavePath(slaveOfAnother),
      m_ownPair(false)
{ }

Pty::~Pty()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

qint64 Pty::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return -1;
    const ssize_t n = ::write(m_master, bytes.constData(), size_t(bytes.size()));
    if (n < 0)
        return errno == EAGAIN ? 0 : -1;
    return n;
}

bool Pty::writeAll(const QByteArray &bytes, int timeoutMs)
{
    if (m_master < 0)
        return false;
    QDeadlineTimer deadline(timeoutMs);
    qsizetype done = 0;
    while (done < bytes.size()) {
        // Straight from the buffer: a copy of the rest each round made
        // megabytes quadratic.
        ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EAGAIN)
            n = 0;
        if (n < 0 || deadline.hasExpired())
            return false;
        done += n;
        if (done < bytes.size()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            pollfd p {m_master, POLLOUT, 0};
            ::poll(&p, 1, 5);
        }
    }
    return true;
}

bool Pty::arrive(const QByteArray &bytes, int timeoutMs)
{
    const int before = pendingForReader();
    return before >= 0 && write(bytes) == bytes.size() &&
        waitUntilPending(before + int(bytes.size()), timeoutMs);
}

void Pty::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

QByteArray Pty::readAvailable()
{
    QByteArray bytes;
    char buffer[4096];
    for (ssize_t n; m_master >= 0 && (n = ::read(m_master, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    return bytes;
}

int Pty::pendingForReader() const
{
    int n = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &n) != 0)
        return -1;
    return n;
}

bool Pty::waitUntilPending(int bytes, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (pendingForReader() < bytes) {
        if (pendingForReader() < 0 || deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
    return true;
}

bool Pty::waitUntilTaken(int timeoutMs) const
{
    // The kernel hands a write on to the reader's side from a work queue;
    // a queue seen empty once may be one that has not been filled yet.
    constexpr qint64 kQuietMs = 150;
    QDeadlineTimer deadline(timeoutMs);
    QElapsedTimer empty;
    while (!deadline.hasExpired()) {
        const int pending = pendingForReader();
        if (pending < 0)
            return false;
        if (pending > 0)
            empty.invalidate();
        else if (!empty.isValid())
            empty.start();
        else if (empty.hasExpired(kQuietMs))
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return false;
}

std::optional<termios> Pty::slaveTermios() const
{
    termios tio {};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0)
        return std::nullopt;
    return tio;
}
