#include "toolkit/Waiting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void QtPause::sleep(int milliseconds)
{
    // A nested loop rather than a thread sleep: the busy indicator turns,
    // the window repaints and the serial port keeps pulling bytes from the
    // OS, while clicks and keys wait until the job is over.
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

namespace {
constexpr qint64 kYieldIntervalMs = 20;

qint64 monotonicMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}
} // namespace

void QtYield::yield()
{
    const qint64 now = monotonicMs();
    if (m_lastTurnMs >= 0 && now - m_lastTurnMs < kYieldIntervalMs)
        return;
    m_lastTurnMs = now;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
