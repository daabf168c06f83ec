#pragma once

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

// While a job arrives, one line on a terminal that keeps saying how many
// bytes and lines have come so far, at most ten times a second; nothing when
// not on a terminal.
class LiveLine {
public:
    // `terminal` is where the line goes, or null for none.
    explicit LiveLine(std::FILE *terminal);
    void add(QByteArrayView bytes);
    // Takes the line away until the next arrival, for a message.
    void hide();
    // The job ended: the line goes away and the counts start again.
    void endJob();

private:
    void show();

    std::FILE *m_terminal = nullptr;
    qint64 m_bytes = 0;
    qint64 m_lineEnds = 0;
    bool m_afterCR = false;
    bool m_shown = false;
    QElapsedTimer m_lastShown;
    // Brings the line up to date when arrivals stop between two refreshes.
    QTimer m_catchUp;
};
