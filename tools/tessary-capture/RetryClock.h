#pragma once

#include <QTimer>

#include <functional>

// How long to wait before trying again after `failures` failed tries in a
// row: 3 s, then twice as long each time, never more than a minute.
constexpr int kFirstRetryMs = 3000;
constexpr int kMostRetryMs = 60000;
constexpr int retryDelayMs(int failures)
{
    int ms = kFirstRetryMs;
    for (int tries = 1; tries < failures && ms < kMostRetryMs; ++tries)
        ms *= 2;
    return ms < kMostRetryMs ? ms : kMostRetryMs;
}

// When a part tries again: one try at a time is due. Tests stand in for it
// with a clock they move by hand.
class RetryClock {
public:
    virtual ~RetryClock() = default;
    // `due` runs once `ms` have passed, unless stopped or started again.
    virtual void start(int ms, std::function<void()> due) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// The real clock: a one-shot timer on the event loop.
class TimerClock : public RetryClock {
public:
    TimerClock()
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_due)
                m_due();
        });
    }
    void start(int ms, std::function<void()> due) override
    {
        m_due = std::move(due);
        m_timer.start(ms);
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_due;
};
