#pragma once

#include "RetryClock.h"

#include <utility>

// Time moved by hand: the try that is due comes when the test fires it.
class FakeClock : public RetryClock {
public:
    void start(int, std::function<void()> due) override { m_due = std::move(due); }
    void stop() override { m_due = {}; }
    bool isActive() const override { return bool(m_due); }
    void fire()
    {
        if (auto due = std::exchange(m_due, {}))
            due();
    }

private:
    std::function<void()> m_due;
};
