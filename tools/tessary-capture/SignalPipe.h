#pragma once

#include <QSocketNotifier>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

// Turns signals into calls on the event loop: the handler only writes the
// signal's number into a pipe, which is all a handler may safely do; the
// event loop reads it and calls `onSignal` there. One at a time per process.
class SignalPipe {
public:
    SignalPipe(std::initializer_list<int> signalNumbers, std::function<void(int)> onSignal);
    ~SignalPipe();
    SignalPipe(const SignalPipe &) = delete;
    SignalPipe &operator=(const SignalPipe &) = delete;

    bool isReady() const { return m_notifier != nullptr; }

private:
    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<int> m_signals;
};
