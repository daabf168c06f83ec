#include "PdfMaker.h"

PdfMaker::PdfMaker(const QString &dir, std::optional<QPageSize> paper, CharacterSet charset)
    : m_pages(dir, charset), m_paper(std::move(paper))
{
    m_pages.setHandlers([this](const PageResult &result) { made(result); },
                        [this] {
                            if (onIdle && !busy())
                                onIdle();
                        });
}

void PdfMaker::add(const TextReport &saved)
{
    if (!m_paper)
        return m_held.append(saved);
    order(saved, false);
}

void PdfMaker::setPaper(const QPageSize &paper)
{
    m_paper = paper;
    for (const TextReport &saved : std::exchange(m_held, {}))
        order(saved, false);
}

void PdfMaker::retry()
{
    if (!m_paper)
        return;
    for (const TextReport &saved : std::exchange(m_unwritten, {}))
        order(saved, true);
}

void PdfMaker::order(const TextReport &saved, bool again)
{
    m_making.append({saved, again});
    m_pages.add({saved.job, saved.name, *m_paper, PageUse::PdfFile});
}

void PdfMaker::made(const PageResult &result)
{
    const auto [saved, again] = m_making.takeFirst();
    if (!result.writeError.isEmpty())
        m_unwritten.append(saved);
    if (onMade)
        onMade({saved, result.sheets, result.pdfPath, result.drawError, result.writeError, again});
}
