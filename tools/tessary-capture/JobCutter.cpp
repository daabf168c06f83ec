#include "JobCutter.h"

#include "printjob/QuietRule.h"
#include "serial/PortConnection.h"

JobCutter::JobCutter(PortConnection &port, int quietMs) : m_port(port), m_quietMs(quietMs)
{
    // The job's end must come on time: a coarse timer may be late by 5 %.
    m_quiet.setTimerType(Qt::PreciseTimer);
    m_quiet.setSingleShot(true);
    QObject::connect(&m_quiet, &QTimer::timeout, [this] { quietTimeUp(); });
    m_limit.setSingleShot(true);
    QObject::connect(&m_limit, &QTimer::timeout, [this] { finishNow(true); });
}

void JobCutter::take()
{
    // A read pulls from the system and may itself announce arrivals; the
    // outer read takes them all.
    if (m_taking || m_finished)
        return;
    m_taking = true;
    const QByteArray bytes = m_port.readAll();
    m_taking = false;
    if (bytes.isEmpty())
        return;
    // The quiet time counts from now, before anything else is done.
    m_quiet.start(m_quietMs);
    if (m_job.bytes.isEmpty())
        m_job.firstByte = clock();
    m_job.bytes += bytes;
    if (onBytes)
        onBytes(bytes, m_job);
}

void JobCutter::quietTimeUp()
{
    take();
    const int left = quietTimeLeft(m_port.msSinceLastArrival(), m_quietMs);
    if (m_port.isOpen() && left > 0) {
        m_quiet.start(left);
        return;
    }
    if (m_finishing)
        return finishNow(false);
    endJob();
    // Whatever came while the job was handed on starts the next one.
    take();
}

bool JobCutter::endJob()
{
    if (m_finishing && !m_finished) {
        const bool had = jobInProgress();
        finishNow(false);
        return had;
    }
    m_quiet.stop();
    if (m_job.bytes.isEmpty())
        return false;
    Job job = std::move(m_job);
    m_job = Job();
    if (onJobEnded)
        onJobEnded(std::move(job));
    return true;
}

void JobCutter::finish(int quietMs, int limitMs, Done done)
{
    if (m_finishing || m_finished)
        return;
    m_finishing = true;
    m_done = std::move(done);
    take();
    m_quietMs = qMin(m_quietMs, quietMs);
    const int left = quietTimeLeft(m_port.msSinceLastArrival(), m_quietMs);
    if (!jobInProgress() || !m_port.isOpen() || left == 0)
        return finishNow(false);
    m_quiet.start(left);
    m_limit.start(limitMs);
}

void JobCutter::finishNow(bool cutShort)
{
    if (m_finished)
        return;
    if (cutShort)
        take();
    m_finished = true;
    m_limit.stop();
    const Job last = m_job;
    endJob();
    if (m_done)
        m_done(last, cutShort);
}
