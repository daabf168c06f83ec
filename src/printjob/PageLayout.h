#pragma once

#include "printjob/Pagination.h"
#include "toolkit/CharacterSet.h"
#include "toolkit/Printing.h"

#include <QSizeF>

#include <array>
#include <functional>

// Advance width in points of each byte in the current style, drawn in a
// character set.
using AdvanceTable = std::array<double, 256>;

AdvanceTable measureAdvances(const PrinterMetrics &metrics, CharacterSet set);

constexpr double kTextLeft = 30;
constexpr double kFirstBaseline = 50;
constexpr double kMaxLinePitch = 12;
constexpr int kTabColumns = 8;

struct LayoutMetrics {
    QSizeF printable; // points
    double descent = 0; // points below the baseline
    int linesPerPage = kLinesPerPage;
    CharacterSet charset = CharacterSet::Pc1600; // what the bytes are drawn as
    AdvanceTable advances {}; // measured in that set
};

// Places the lines of one page on sheets: one row per line, a line too wide
// for the paper continuing on the next row, and rows that do not fit the
// sheet continuing on a new one. Tabs become spaces up to the next stop,
// other control characters are left out, the other bytes become the
// characters of the metrics' character set.
class PageLayout {
public:
    explicit PageLayout(const LayoutMetrics &metrics);

    double linePitch() const { return m_pitch; }

    // afterLine is called once per line laid out.
    QVector<Sheet> layOutPage(const PageLines &lines,
                              const std::function<void()> &afterLine = {}) const;

private:
    struct SheetFiller;

    LayoutMetrics m_metrics;
    CharacterTable m_characters;
    double m_pitch = kMaxLinePitch;
    double m_widthLimit = 0;
};
