#pragma once

#include "JobCutter.h"
#include "JobStore.h"
#include "PortFollower.h"

#include <QPageSize>

#include <functional>

class Outcome;
class PageWorker;
class PortConnection;
class PrintFeeder;
class ServiceStatus;
struct CaptureOptions;
struct PageResult;

// The capture's parts, each with its own job; the session connects them and
// does nothing else.
struct CaptureParts {
    JobStore &store;
    Outcome &outcome;
    PageWorker *pages = nullptr; // when PDFs or prints are wanted
    PrintFeeder *prints = nullptr; // when prints are wanted
    ServiceStatus *status = nullptr;
};

// What the cutter ends as a job goes to the store; what the store has on
// disk goes to the page worker and the print feeder; the follower's news of
// the port ends a job or the capture; what is to be told goes to the outcome.
class CaptureSession {
public:
    CaptureSession(PortConnection &port, const CaptureOptions &options, CaptureParts parts);
    ~CaptureSession();
    CaptureSession(const CaptureSession &) = delete;
    CaptureSession &operator=(const CaptureSession &) = delete;

    // The port is open: jobs an earlier run left are saved, and from now on
    // every arrival counts.
    void start();
    // Reads the job in progress to its end, lets the pages being made and
    // the prints CUPS takes finish, and ends.
    void stop();
    // Saves the job in progress as it is and ends at once.
    void stopNow();
    // Told the exit status once the session has ended; `atOnce` after
    // stopNow(), when nothing else is to be waited for.
    std::function<void(int status, bool atOnce)> onEnd;
    // The local time of an arrival.
    void setClock(std::function<QDateTime()> clock) { m_cutter.clock = std::move(clock); }

private:
    // Finishing: the last job is read; the pages and prints are awaited.
    enum class Phase { Capturing, Finishing, Ended };

    void jobEnded(Job job);
    void saved(const QVector<TextReport> &reports);
    void orderPages(const TextReport &report, bool print);
    void pagesDone(const PageResult &result);
    void tellJob(const QString &name, const QByteArray &bytes, int pages);
    void printPages(const Waiting &print);
    QPageSize paper() const;
    void retryPdfs();
    void portLost();
    void lastJobRead(const Job &last, bool cutShort);
    void finishPages();
    void end();
    void showStatus();

    PortConnection &m_port;
    const CaptureOptions &m_options;
    CaptureParts m_parts;
    JobCutter m_cutter;
    PortFollower m_follower;
    Phase m_phase = Phase::Capturing;
    bool m_printsFinishing = false;
    bool m_atOnce = false;
};
