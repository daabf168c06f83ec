#pragma once

#include "JobFiles.h"

#include <QFileSystemWatcher>
#include <QTimer>

#include <functional>

class LiveLine;
class Serial;

struct SessionSettings {
    QString port; // the path as given, for messages
    QString portPath; // the same, absolute
    int quietMs = 2000;
    bool once = false;
};

// Cuts what an open port receives into jobs at each quiet time and hands
// them to the files; follows the port when it vanishes and comes back.
// Everything runs on the event loop: no polling while the line is open.
class CaptureSession {
public:
    CaptureSession(Serial &serial, JobFiles &files, LiveLine &live, SessionSettings settings);
    ~CaptureSession();
    CaptureSession(const CaptureSession &) = delete;
    CaptureSession &operator=(const CaptureSession &) = delete;

    // The port is open: from now on, every arrival counts.
    void start();
    // Reads the port once more, saves what has come and ends.
    void stop();
    // Told the exit status once the session has ended.
    std::function<void(int status)> onEnd;

private:
    void take();
    void quietTimeUp();
    bool finishJob();
    void portLost();
    void watchForPort();
    void tryReopen();
    void end();
    void report(const QVector<JobReport> &reports, bool atEnd = false);
    void tell(const QString &text);

    Serial &m_serial;
    JobFiles &m_files;
    LiveLine &m_live;
    SessionSettings m_settings;
    Job m_job;
    QTimer m_quiet;
    QTimer m_reopenTimer;
    QFileSystemWatcher m_folderWatch;
    bool m_taking = false;
    bool m_saving = false;
    bool m_ended = false;
    // Said once for each time the port goes away; a port that comes back
    // and goes again before anything arrived is not news.
    bool m_goneSaid = false;
    bool m_backSaid = false;
};
