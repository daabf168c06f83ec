#include "PrintProgress.h"

#include "printjob/Pagination.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr qint64 kQuietMs = 1000;
constexpr qint64 kRefreshMs = 100;
} // namespace

PrintProgress::PrintProgress(const QByteArray &text)
    : m_totalPages(countPages(text)), m_terminal(::isatty(STDERR_FILENO) == 1)
{
    m_clock.start();
}

PageDone PrintProgress::pageDone()
{
    if (!m_terminal)
        return {};
    return [this](int pages) { show(pages); };
}

void PrintProgress::show(int pages)
{
    const qint64 now = m_clock.elapsed();
    if (now < kQuietMs || (m_shown && now - m_lastShownMs < kRefreshMs && pages < m_totalPages))
        return;
    m_shown = true;
    m_lastShownMs = now;
    std::fprintf(stderr, "\r%s: page %d of %d", qUtf8Printable(QCoreApplication::applicationName()),
                 pages, m_totalPages);
    std::fflush(stderr);
}

void PrintProgress::finish()
{
    if (!m_shown)
        return;
    // Back to the start of the line, and clear it.
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_shown = false;
}
