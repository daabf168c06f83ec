#include "printjob/Pagination.h"

QByteArrayView LineReader::nextLine()
{
    const qsizetype size = m_text.size();
    const char *data = m_text.data();
    const qsizetype start = m_pos;
    qsizetype end = start;
    while (end < size && data[end] != '\n' && data[end] != '\r')
        ++end;
    m_pos = end;
    if (m_pos < size) {
        if (data[m_pos] == '\r' && m_pos + 1 < size && data[m_pos + 1] == '\n')
            ++m_pos;
        ++m_pos;
    }
    return m_text.sliced(start, end - start);
}

PageCutter::PageCutter(QByteArrayView text, int linesPerPage)
    : m_lines(text), m_linesPerPage(linesPerPage > 0 ? linesPerPage : 1)
{ }

PageLines PageCutter::nextPage()
{
    PageLines page;
    page.reserve(m_linesPerPage);
    while (page.size() < m_linesPerPage && !m_lines.atEnd())
        page.append(m_lines.nextLine());
    return page;
}

void LineCounter::add(QByteArrayView text)
{
    for (const char c : text) {
        if (c == '\r' || (c == '\n' && !m_afterCR))
            ++m_ends;
        m_afterCR = c == '\r';
        m_lineOpen = c != '\r' && c != '\n';
    }
}

int countLines(QByteArrayView text)
{
    LineCounter counter;
    counter.add(text);
    return int(counter.lines());
}

int countPages(QByteArrayView text, int linesPerPage)
{
    if (linesPerPage <= 0)
        linesPerPage = 1;
    return (countLines(text) + linesPerPage - 1) / linesPerPage;
}
