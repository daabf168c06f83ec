#pragma once

#include "Job.h"

#include <QByteArrayView>
#include <QTimer>

#include <functional>

class PortConnection;

// Cuts what an open port receives into jobs: a job is what arrives until the
// line has been quiet for the quiet time, counted from its last byte, and
// takes the local time of its first byte. It reads when the port tells of
// bytes and waits with timers; it never polls.
class JobCutter {
public:
    JobCutter(PortConnection &port, int quietMs);
    JobCutter(const JobCutter &) = delete;
    JobCutter &operator=(const JobCutter &) = delete;

    // The local time of an arrival.
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    // Bytes just read; `job` is the job in progress with them.
    std::function<void(QByteArrayView bytes, const Job &job)> onBytes;
    std::function<void(Job job)> onJobEnded;

    // Reads what has arrived.
    void take();
    // The job in progress ends now with what has been read; false when
    // there was none. While finishing, that is the last job.
    bool endJob();
    bool jobInProgress() const { return !m_job.bytes.isEmpty(); }

    // The last job: the one in progress is read on until the line has been
    // quiet for `quietMs` (the quiet time, when that is shorter), for at most
    // `limitMs`; after that nothing is read. `done` is told the last job, if
    // any, and whether the limit cut it short.
    using Done = std::function<void(const Job &last, bool cutShort)>;
    void finish(int quietMs, int limitMs, Done done);
    bool finished() const { return m_finished; }

private:
    void quietTimeUp();
    void finishNow(bool cutShort);

    PortConnection &m_port;
    int m_quietMs;
    Job m_job;
    QTimer m_quiet;
    QTimer m_limit;
    bool m_taking = false;
    bool m_finishing = false;
    bool m_finished = false;
    Done m_done;
};
