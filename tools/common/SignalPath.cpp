#include "SignalPath.h"

#include <QFile>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A slot's path is written only while the slot is Claimed, by the thread
// that claimed it, and read only while it is Removing, by whoever moved it
// there from Registered: nobody reads a path half written.
enum SlotState : int { Free, Claimed, Registered, Removing };

struct TemporaryFile {
    std::atomic<int> state {Free};
    char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free,
              "the handler may touch only lock-free atomics");

// What the handler reads: plain memory and lock-free atomics, since a
// handler may do next to nothing.
TemporaryFile temporaryFiles[SignalPath::kMostTemporaryFiles];
int pipeEnds[2] = {-1, -1};

void removeRegistered()
{
    for (TemporaryFile &file : temporaryFiles) {
        int registered = Registered;
        if (file.state.compare_exchange_strong(registered, Removing)) {
            ::unlink(file.path);
            file.state.store(Registered);
        }
    }
}

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    if (pipeEnds[1] >= 0) {
        const unsigned char number = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1);
        errno = savedErrno;
        return;
    }
    removeRegistered();
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

int SignalPath::registerTemporaryFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (path.isEmpty() || size_t(name.size()) >= sizeof TemporaryFile::path)
        return -1;
    for (int slot = 0; slot < kMostTemporaryFiles; ++slot) {
        TemporaryFile &file = temporaryFiles[slot];
        int expected = Free;
        if (file.state.compare_exchange_strong(expected, Claimed)) {
            std::memcpy(file.path, name.constData(), size_t(name.size()) + 1);
            file.state.store(Registered);
            return slot;
        }
    }
    return -1;
}

void SignalPath::unregisterTemporaryFile(int slot)
{
    if (slot < 0 || slot >= kMostTemporaryFiles)
        return;
    std::atomic<int> &state = temporaryFiles[slot].state;
    // Removing: a handler on another thread is unlinking it; wait for that,
    // as the path must stay whole until then.
    for (int seen = state.load(); seen != Free; seen = state.load()) {
        if (seen == Registered && state.compare_exchange_weak(seen, Free))
            return;
        std::this_thread::yield();
    }
}

void SignalPath::removeTemporaryFiles()
{
    removeRegistered();
}
