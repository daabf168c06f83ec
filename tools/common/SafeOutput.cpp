#include "SafeOutput.h"

#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {
// The temporary file being written, for the signal handler: plain memory,
// since a handler may do next to nothing.
char temporaryPath[PATH_MAX];
volatile sig_atomic_t haveTemporary = 0;

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onSignal(int signal)
{
    if (haveTemporary)
        ::unlink(temporaryPath);
    std::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Holds the signals off while the temporary file exists but is not yet
// known to the handler.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : kSignals)
            sigaddset(&set, signal);
        ::sigprocmask(SIG_BLOCK, &set, &m_old);
    }
    ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &m_old, nullptr); }

private:
    sigset_t m_old;
};

void noteTemporary(int handle)
{
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(handle);
    const ssize_t n = ::readlink(link.constData(), temporaryPath, sizeof temporaryPath - 1);
    if (n <= 0)
        return;
    temporaryPath[n] = '\0';
    // An unnamed temporary file (O_TMPFILE) goes with the process by itself.
    static const char unnamed[] = " (deleted)";
    const size_t length = size_t(n);
    if (length >= sizeof unnamed - 1 &&
        std::strcmp(temporaryPath + length - (sizeof unnamed - 1), unnamed) == 0)
        return;
    haveTemporary = 1;
}
} // namespace

SafeOutput::SafeOutput(const QString &path) : m_path(path) { }

SafeOutput::~SafeOutput()
{
    discard();
}

bool SafeOutput::open()
{
    if (m_path == QLatin1String("-")) {
        m_direct = std::make_unique<QFile>();
        if (!m_direct->open(STDOUT_FILENO, QIODevice::WriteOnly)) {
            m_error = m_direct->errorString();
            return false;
        }
        return true;
    }
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile()) {
        m_direct = std::make_unique<QFile>(m_path);
        if (!m_direct->open(QIODevice::WriteOnly)) {
            m_error = m_direct->errorString();
            return false;
        }
        return true;
    }
    const SignalsHeld held;
    m_save = std::make_unique<QSaveFile>(m_path);
    if (!m_save->open(QIODevice::WriteOnly)) {
        m_error = m_save->errorString();
        m_save.reset();
        return false;
    }
    noteTemporary(m_save->handle());
    return true;
}

QIODevice *SafeOutput::device()
{
    if (m_save)
        return m_save.get();
    return m_direct.get();
}

bool SafeOutput::commit()
{
    if (m_save) {
        const SignalsHeld held;
        const bool ok = m_save->commit();
        if (!ok)
            m_error = m_save->errorString();
        haveTemporary = 0;
        m_save.reset();
        return ok;
    }
    if (!m_direct)
        return false;
    const bool ok = m_direct->flush() && m_direct->error() == QFileDevice::NoError;
    if (!ok)
        m_error = m_direct->errorString();
    m_direct.reset();
    return ok;
}

void SafeOutput::discard()
{
    if (m_save) {
        const SignalsHeld held;
        m_save->cancelWriting();
        m_save.reset(); // removes the temporary file
        haveTemporary = 0;
    }
    m_direct.reset();
}

QString SafeOutput::errorString() const
{
    return m_error;
}

void SafeOutput::removeTemporaryOnSignal()
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}
