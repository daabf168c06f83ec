#include "StatusLine.h"

#include <QCoreApplication>

namespace {
constexpr qint64 kRefreshMs = 100;
} // namespace

StatusLine::StatusLine(std::FILE *terminal) : m_terminal(terminal)
{
    m_catchUp.setSingleShot(true);
    QObject::connect(&m_catchUp, &QTimer::timeout, [this] { draw(); });
}

void StatusLine::show(const QString &text, bool now)
{
    if (!m_terminal)
        return;
    m_text = text;
    if (now || !m_shown || m_lastShown.elapsed() >= kRefreshMs)
        draw();
    else if (!m_catchUp.isActive())
        m_catchUp.start(int(kRefreshMs - m_lastShown.elapsed()));
}

void StatusLine::draw()
{
    m_catchUp.stop();
    std::fprintf(m_terminal, "\r%s: %s\033[K", qUtf8Printable(QCoreApplication::applicationName()),
                 qUtf8Printable(m_text));
    std::fflush(m_terminal);
    m_shown = true;
    m_lastShown.start();
}

void StatusLine::hide()
{
    m_catchUp.stop();
    if (!m_shown)
        return;
    std::fputs("\r\033[K", m_terminal);
    std::fflush(m_terminal);
    m_shown = false;
}
