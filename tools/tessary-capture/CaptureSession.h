#pragma once

#include "JobCutter.h"
#include "JobStore.h"
#include "PdfMaker.h"
#include "PortFollower.h"

#include <functional>

class Outcome;
class PortConnection;
class PrintSpool;
class ServiceStatus;
struct CaptureOptions;
struct PrintNews;

// The capture's parts, each with its own job; the session connects them and
// does nothing else.
struct CaptureParts {
    JobStore &store;
    Outcome &outcome;
    PdfMaker *pdfs = nullptr; // when PDFs are wanted
    PrintSpool *prints = nullptr; // when prints are wanted
    ServiceStatus *status = nullptr;
};

// What the cutter ends as a job goes to the store; a saved job goes to the
// PDF maker and then to the print spool, whose mark the store notes before
// the text takes its name; the follower's news of the port ends a job or
// the capture; what is to be told goes to the outcome and the status.
class CaptureSession {
public:
    CaptureSession(PortConnection &port, const CaptureOptions &options, CaptureParts parts);
    ~CaptureSession();
    CaptureSession(const CaptureSession &) = delete;
    CaptureSession &operator=(const CaptureSession &) = delete;

    // What an earlier run left is completed, and from now on every arrival
    // counts; a port that did not open is waited for.
    void start(bool portOpen = true);
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

    void connectParts();
    void recover();
    void jobEnded(Job job);
    void saved(const QVector<TextReport> &reports);
    TextIntent *intentFor(const Job &job) const;
    bool printDue(const TextReport &report) const;
    void pdfMade(const PdfMaker::Made &made);
    void tellJob(const TextReport &report, int pages);
    void printNews(const PrintNews &news);
    void printsChanged();
    void portLost();
    void lastJobRead(const Job &last, bool cutShort);
    void finishIfDone();
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
    QDateTime m_cut; // the first byte of the job it cut
    QString m_trouble; // why prints cannot be kept on disk, for the status
};
