#include "printjob/PageLayout.h"

#include <QString>

#include <algorithm>

namespace {
// Rows are laid out in floating point; this keeps the last of 62 rows on
// the sheet when the pitch was computed to fill it exactly.
constexpr double kFitTolerance = 1e-6;
} // namespace

AdvanceTable measureAdvances(const PrinterMetrics &metrics, CharacterSet set)
{
    const CharacterTable &characters = characterTable(set);
    AdvanceTable advances {};
    for (int c = 0; c < 256; ++c) {
        if (characters[c] != 0)
            advances[c] = metrics.textWidth(QString(QChar(characters[c])));
    }
    return advances;
}

PageLayout::PageLayout(const LayoutMetrics &metrics)
    : m_metrics(metrics), m_characters(characterTable(metrics.charset))
{
    const int gaps = std::max(1, metrics.linesPerPage - 1);
    const double fitting = (metrics.printable.height() - kFirstBaseline - metrics.descent) / gaps;
    m_pitch = std::min(kMaxLinePitch, fitting);
    if (m_pitch <= 0)
        m_pitch = kMaxLinePitch; // not even one line fits: one row per sheet
    m_widthLimit = metrics.printable.width() - kTextLeft;
}

struct PageLayout::SheetFiller {
    const PageLayout &layout;
    QVector<Sheet> sheets {Sheet()};
    int rowOnSheet = 0;

    void placeRow(const QString &text)
    {
        double y = kFirstBaseline + rowOnSheet * layout.m_pitch;
        const double bottom = y + layout.m_metrics.descent;
        if (rowOnSheet > 0 && bottom > layout.m_metrics.printable.height() + kFitTolerance) {
            sheets.append(Sheet());
            rowOnSheet = 0;
            y = kFirstBaseline;
        }
        if (!text.isEmpty())
            sheets.last().append(TextRow {kTextLeft, y, text});
        ++rowOnSheet;
    }
};

QVector<Sheet> PageLayout::layOutPage(const PageLines &lines,
                                      const std::function<void()> &afterLine) const
{
    if (lines.isEmpty())
        return {};
    SheetFiller filler {*this};
    const AdvanceTable &advances = m_metrics.advances;
    QString row;
    for (const QByteArrayView &line : lines) {
        row.clear();
        double width = 0;
        int column = 0;
        auto append = [&](uchar c) {
            const double advance = advances[c];
            if (!row.isEmpty() && width + advance > m_widthLimit + kFitTolerance) {
                filler.placeRow(row);
                row.clear();
                width = 0;
            }
            row.append(QChar(m_characters[c]));
            width += advance;
            ++column;
        };
        for (const char byte : line) {
            const uchar c = uchar(byte);
            if (c == '\t') {
                do {
                    append(' ');
                } while (column % kTabColumns != 0);
            } else if (m_characters[c] != 0) {
                append(c);
            }
        }
        filler.placeRow(row);
        if (afterLine)
            afterLine();
    }
    return filler.sheets;
}
