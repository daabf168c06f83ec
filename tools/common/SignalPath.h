#pragma once

#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP for every program here, through one handler
// that does only what a handler may. Without a handler of the program's
// own, it removes every temporary file registered here and ends the
// program as the signal would. With one, it hands the signal to the event
// loop and leaves the files to the program, which completes them, or
// removes them all at once with removeTemporaryFiles() when it must end
// now. One SignalPath at a time per process.
//
// The registered files are a fixed table of kMostTemporaryFiles paths, each
// slot claimed and freed through an atomic state: the handler reads only
// whole paths, and threads may register and unregister files at the same
// time. Limit: a file beyond that many at once, or with a path of PATH_MAX
// bytes or more, is not registered, and a signal leaves it behind.
class SignalPath {
public:
    static constexpr int kMostTemporaryFiles = 16;

    // No handler: the program ends as the signal would.
    explicit SignalPath(std::function<void(int)> handler = {});
    ~SignalPath();
    SignalPath(const SignalPath &) = delete;
    SignalPath &operator=(const SignalPath &) = delete;

    // A file that a signal ending the program removes from now on; the
    // slot to unregister it with, or -1 when it could not be registered.
    static int registerTemporaryFile(const QString &path);
    // The file of the slot is no longer removed; -1 does nothing.
    static void unregisterTemporaryFile(int slot);
    // Removes every registered file now, as a signal ending the program
    // would; they stay registered until unregistered.
    static void removeTemporaryFiles();

private:
    std::function<void(int)> m_handler;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
