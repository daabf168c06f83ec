#pragma once

#include <QtGlobal>

// The pause between reads of the serial port. The window keeps painting and
// the port keeps receiving while it lasts, but no user input reaches the
// program.
class Pause {
public:
    virtual ~Pause() = default;
    virtual void sleep(int milliseconds) = 0;
};

// Called inside long loops so the window stays alive. Must be cheap enough
// to call once per line.
class Yield {
public:
    virtual ~Yield() = default;
    virtual void yield() = 0;
};

// Hands out no turns: for work with no window to keep alive.
class NoYield : public Yield {
public:
    void yield() override { }
};

class QtPause : public Pause {
public:
    void sleep(int milliseconds) override;
};

// Hands the event loop a turn at most every few milliseconds, so calling it
// in a tight loop costs next to nothing.
class QtYield : public Yield {
public:
    void yield() override;

private:
    qint64 m_lastTurnMs = -1;
};
