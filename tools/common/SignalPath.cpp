#include "SignalPath.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// What the handler reads: plain memory, since a handler may do next to
// nothing.
char temporaryPath[PATH_MAX];
volatile sig_atomic_t haveTemporary = 0;
int pipeEnds[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    if (haveTemporary)
        ::unlink(temporaryPath);
    if (pipeEnds[1] >= 0) {
        const unsigned char number = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1);
        errno = savedErrno;
        return;
    }
    std::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

} // namespace

SignalPath::SignalPath(std::function<void(int)> handler) : m_handler(std::move(handler))
{
    if (m_handler && pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_notifier = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
            unsigned char number = 0;
            while (::read(pipeEnds[0], &number, 1) == 1)
                m_handler(number);
        });
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

SignalPath::~SignalPath()
{
    for (const int number : kSignals)
        std::signal(number, SIG_DFL);
    if (!m_notifier)
        return;
    m_notifier.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void SignalPath::removeOnSignal(const QString &path)
{
    // The handler looks at the name only while it is whole.
    haveTemporary = 0;
    const QByteArray name = QFile::encodeName(path);
    if (path.isEmpty() || size_t(name.size()) >= sizeof temporaryPath)
        return;
    std::memcpy(temporaryPath, name.constData(), size_t(name.size()) + 1);
    haveTemporary = 1;
}
