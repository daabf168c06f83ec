#pragma once

#include "JobCutter.h"
#include "JobStore.h"
#include "PortFollower.h"

#include <functional>

class Outcome;
class PageWorker;
class PortConnection;
struct CaptureOptions;
struct PageResult;

// Connects the capture's parts, and does nothing else: what the cutter ends
// as a job goes to the store; what the store has on disk goes to the page
// worker; the follower's news of the port ends a job or the capture; what
// is to be told goes to the outcome.
class CaptureSession {
public:
    // `pages` may be null when neither PDFs nor prints are wanted.
    CaptureSession(PortConnection &port, const CaptureOptions &options, JobStore &store,
                   Outcome &outcome, PageWorker *pages = nullptr);
    ~CaptureSession();
    CaptureSession(const CaptureSession &) = delete;
    CaptureSession &operator=(const CaptureSession &) = delete;

    // The port is open: from now on, every arrival counts.
    void start();
    // Reads the job in progress to its end, lets the pages being made
    // finish, and ends.
    void stop();
    // Told the exit status once the session has ended.
    std::function<void(int status)> onEnd;
    // The local time of an arrival.
    void setClock(std::function<QDateTime()> clock) { m_cutter.clock = std::move(clock); }

private:
    // Finishing: the last job is read; the pages being made are awaited.
    enum class Phase { Capturing, Finishing, Ended };

    void jobEnded(Job job);
    void saved(const QVector<TextReport> &reports, bool newJobLast);
    void pagesDone(const PageResult &result);
    void retryPdfs();
    QString waitNote() const;
    void portLost();
    void lastJobRead(const Job &last, bool cutShort);
    void finishPages();
    void end();

    PortConnection &m_port;
    const CaptureOptions &m_options;
    JobStore &m_store;
    Outcome &m_outcome;
    PageWorker *m_pages;
    JobCutter m_cutter;
    PortFollower m_follower;
    Phase m_phase = Phase::Capturing;
};
