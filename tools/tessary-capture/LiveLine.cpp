#include "LiveLine.h"

#include <QCoreApplication>

namespace {
constexpr qint64 kRefreshMs = 100;
} // namespace

LiveLine::LiveLine(std::FILE *terminal) : m_terminal(terminal)
{
    m_catchUp.setSingleShot(true);
    QObject::connect(&m_catchUp, &QTimer::timeout, [this] { show(); });
}

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
    else if (!m_catchUp.isActive())
        m_catchUp.start(int(kRefreshMs - m_lastShown.elapsed()));
}

void LiveLine::show()
{
    m_catchUp.stop();
    std::fprintf(m_terminal, "\r%s: receiving, %lld byte%s, %lld line%s\033[K",
                 qUtf8Printable(QCoreApplication::applicationName()),
                 static_cast<long long>(m_bytes), m_bytes == 1 ? "" : "s",
                 static_cast<long long>(m_lineEnds), m_lineEnds == 1 ? "" : "s");
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
    m_catchUp.stop();
    if (!m_shown)
        return;
    std::fputs("\r\033[K", m_terminal);
    std::fflush(m_terminal);
    m_shown = false;
}
