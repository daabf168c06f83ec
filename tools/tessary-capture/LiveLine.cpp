#include "LiveLine.h"

#include "Counted.h"

void LiveLine::add(QByteArrayView bytes)
{
    if (!m_line.isOn())
        return;
    m_bytes += bytes.size();
    m_lines.add(bytes);
    // The lines that have ended, as the pages will count them.
    m_line.show(
        QStringLiteral("receiving, %1, %2")
            .arg(counted(m_bytes, "byte", "bytes"), counted(m_lines.lineEnds(), "line", "lines")));
}

void LiveLine::endJob()
{
    m_bytes = 0;
    m_lines = LineCounter();
    m_line.hide();
}
