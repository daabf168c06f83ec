#pragma once

#include "JobFiles.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QTimer>

#include <functional>
#include <sys/types.h>

class LiveLine;
class PageWorker;
class PortConnection;
struct PageResult;

struct SessionSettings {
    QString port; // the path as given, for messages
    QString portPath; // the same, absolute
    int quietMs = 2000;
    bool once = false;
    bool pdf = false;
    QString printer; // the queue each job is printed on; empty: none
};

// Cuts what an open port receives into jobs at each quiet time, writes each
// job's text at once and hands its pages to the worker; follows the port
// when it vanishes and comes back. Everything here runs on the event loop:
// no polling while the line is open.
class CaptureSession {
public:
    // `pages` may be null when neither PDFs nor prints are wanted.
    CaptureSession(PortConnection &port, JobFiles &files, LiveLine &live, SessionSettings settings,
                   PageWorker *pages = nullptr);
    ~CaptureSession();
    CaptureSession(const CaptureSession &) = delete;
    CaptureSession &operator=(const CaptureSession &) = delete;

    // The port is open: from now on, every arrival counts.
    void start();
    // Saves the job in progress as one file, lets the pages being made
    // finish, and ends.
    void stop();
    // Told the exit status once the session has ended.
    std::function<void(int status)> onEnd;
    // The local time of an arrival.
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };

private:
    // Finishing: the last job is saved; the pages being made are awaited.
    enum class Phase { Capturing, Finishing, Ended };

    void take();
    QByteArray takeMore();
    void quietTimeUp();
    bool finishJob(bool last);
    void handle(const QVector<TextReport> &reports, bool newJobLast);
    void pagesDone(const PageResult &result);
    void retryPdfs();
    QString keptNote() const;
    void portLost();
    void watchForPort(bool watching);
    void tryReopen();
    void finishPages();
    void end();
    void tell(const QString &text, bool jobLine = false);

    PortConnection &m_port;
    JobFiles &m_files;
    LiveLine &m_live;
    SessionSettings m_settings;
    PageWorker *m_pages;
    Job m_job;
    QTimer m_quiet;
    QTimer m_reopenTimer;
    QFileSystemWatcher m_folderWatch;
    Phase m_phase = Phase::Capturing;
    bool m_taking = false;
    bool m_saving = false;
    bool m_lastRetryDone = false;
    bool m_notPrinted = false;
    bool m_pdfFailed = false;
    QElapsedTimer m_topUpClock;
    dev_t m_openedDevice = 0;
    // Said once for each time the port goes away; a port that comes back
    // and goes again before anything arrived is not news.
    bool m_goneSaid = false;
    bool m_backSaid = false;
    // The pseudo-terminal that hung up: its number goes to the next
    // terminal that opens, which must never be taken for the port.
    dev_t m_hungUpTerminal = 0;
};
