#pragma once

#include "StatusLine.h"
#include "printjob/Pagination.h"

#include <QByteArrayView>

#include <cstdio>

// While a job arrives, a status line on a terminal that keeps saying how
// many bytes and lines have come so far; nothing when not on a terminal.
class LiveLine {
public:
    // `terminal` is where the line goes, or null for none.
    explicit LiveLine(std::FILE *terminal) : m_line(terminal) { }
    void add(QByteArrayView bytes);
    // Takes the line away until the next arrival, for a message.
    void hide() { m_line.hide(); }
    // The job ended: the line goes away and the counts start again.
    void endJob();

private:
    StatusLine m_line;
    qint64 m_bytes = 0;
    LineCounter m_lines;
};
