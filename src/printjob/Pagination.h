#pragma once

#include <QByteArrayView>
#include <QVector>

// Reads lines out of received text without copying it. A line ends at LF,
// at CR LF or at a lone CR; the line end is not part of the line. A last
// line without a line end is still a line.
class LineReader {
public:
    explicit LineReader(QByteArrayView text) : m_text(text) { }
    bool atEnd() const { return m_pos >= m_text.size(); }
    QByteArrayView nextLine();

private:
    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

using PageLines = QVector<QByteArrayView>;

// The lines of received text on one page.
constexpr int kLinesPerPage = 62;

// Cuts received text into pages of a fixed number of lines, one page at a
// time, so that only the page being printed is held in memory.
class PageCutter {
public:
    explicit PageCutter(QByteArrayView text, int linesPerPage = kLinesPerPage);
    bool atEnd() const { return m_lines.atEnd(); }
    PageLines nextPage();

private:
    LineReader m_lines;
    int m_linesPerPage = kLinesPerPage;
};

// Counts the lines of text that arrives in pieces, by LineReader's rule: LF,
// CR LF and a lone CR each end a line, a CR LF split between two pieces too.
class LineCounter {
public:
    void add(QByteArrayView text);
    qint64 lineEnds() const { return m_ends; }
    // A last line without a line end counts too.
    qint64 lines() const { return m_ends + (m_lineOpen ? 1 : 0); }

private:
    qint64 m_ends = 0;
    bool m_afterCR = false;
    bool m_lineOpen = false;
};

int countLines(QByteArrayView text);
int countPages(QByteArrayView text, int linesPerPage = kLinesPerPage);
