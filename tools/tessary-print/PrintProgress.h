#pragma once

#include "printjob/PrintJob.h"

#include <QElapsedTimer>

// "page N of M" on standard error while a long job runs, when standard
// error is a terminal; nothing for a job done within about a second.
class PrintProgress {
public:
    explicit PrintProgress(const QByteArray &text);
    PageDone pageDone();
    // Takes the progress line away again.
    void finish();

private:
    void show(int pages);

    QElapsedTimer m_clock;
    int m_totalPages = 0;
    bool m_terminal = false;
    bool m_shown = false;
    qint64 m_lastShownMs = 0;
};
