#include "LiveLine.h"

#include <QCoreApplication>

namespace {
constexpr qint64 kRefreshMs = 100;
} // namespace

LiveLine::LiveLine(std::FILE *terminal) : m_terminal(terminal) { }

void LiveLine::add(QByteArrayView bytes)
{
    if (!m_terminal)
        return;
    m_bytes += bytes.size();
    // Line ends as the pages count them: LF, CR LF, or a lone CR.
    for (const char c : bytes) {
        if (c == '\n') {
            if (!m_afterCR)
                ++m_lineEnds;
        } else if (c == '\r') {
            ++m_lineEnds;
        }
        m_afterCR = c == '\r';
    }
    if (!m_shown || m_lastShown.elapsed() >= kRefreshMs)
        show();
}

void LiveLine::show()
{
    std::fprintf(m_terminal, "\r%s: receiving, %lld bytes, %lld lines\033[K",
                 qUtf8Printable(QCoreApplication::applicationName()),
                 static_cast<long long>(m_bytes), static_cast<long long>(m_lineEnds));
    std::fflush(m_terminal);
    m_shown = true;
    m_lastShown.start();
}

void LiveLine::endJob()
{
    m_bytes = 0;
    m_lineEnds = 0;
    m_afterCR = false;
    hide();
}

void LiveLine::hide()
{
    if (!m_shown)
        return;
    std::fputs("\r\033[K", m_terminal);
    std::fflush(m_terminal);
    m_shown = false;
}
