#pragma once

#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP for every program here, through one handler
// that does only what a handler may: it removes the temporary file being
// written, if one is named, and then either hands the signal to the event
// loop (a program that ends on its own terms) or ends the program as the
// signal would. One at a time per process.
class SignalPath {
public:
    // No handler: the program ends as the signal would.
    explicit SignalPath(std::function<void(int)> handler = {});
    ~SignalPath();
    SignalPath(const SignalPath &) = delete;
    SignalPath &operator=(const SignalPath &) = delete;

    // The file a signal removes from now on; empty for none.
    static void removeOnSignal(const QString &path);

private:
    std::function<void(int)> m_handler;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
