#include "toolkit/Waiting.h"

#include <QtTest>

class WaitingTest : public QObject {
    Q_OBJECT

private slots:
    // The drain's pause keeps the window alive: timers (the busy wheel,
    // the serial port's notifiers) go on while it lasts.
    void pauseLastsAndKeepsTimersRunning()
    {
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);

        QElapsedTimer clock;
        clock.start();
        QtPause().sleep(1000);
        // Never shorter than asked: the quiet rule counts on it.
        QVERIFY(clock.elapsed() >= 1000);
        QVERIFY2(ticks >= 1, "timers did not run during the pause");
    }

    // Called once per line of a long print: it must hand out turns, but not
    // one per call.
    void yieldHandsOutOccasionalTurns()
    {
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(0);
        QtYield yield;
        QElapsedTimer clock;
        clock.start();
        long calls = 0;
        while (clock.elapsed() < 200) {
            yield.yield();
            ++calls;
        }
        QVERIFY2(ticks > 0, "the yield never let the event loop run");
        QVERIFY2(ticks * 100 < calls, "the yield runs the event loop on every call");
    }
};

QTEST_MAIN(WaitingTest)
#include "test_waiting.moc"
