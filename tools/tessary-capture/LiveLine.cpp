#include "LiveLine.h"

void LiveLine::add(QByteArrayView bytes)
{
    if (!m_line.isOn())
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
    m_line.show(QStringLiteral("receiving, %1 byte%2, %3 line%4")
                    .arg(m_bytes)
                    .arg(QLatin1String(m_bytes == 1 ? "" : "s"))
                    .arg(m_lineEnds)
                    .arg(QLatin1String(m_lineEnds == 1 ? "" : "s")));
}

void LiveLine::endJob()
{
    m_bytes = 0;
    m_lineEnds = 0;
    m_afterCR = false;
    m_line.hide();
}
