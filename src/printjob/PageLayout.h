#pragma once

#include "printjob/Pagination.h"
#include "toolkit/Printing.h"

#include <QSizeF>

#include <array>
#include <functional>

// Advance width in points of each Latin-1 character in the current style.
using AdvanceTable = std::array<double, 256>;

AdvanceTable measureAdvances(const PrinterMetrics &metrics);

constexpr double kTextLeft = 30;
constexpr double kFirstBaseline = 50;
constexpr double kMaxLinePitch = 12;
constexpr int kTabColumns = 8;

struct LayoutMetrics {
    QSizeF printable; // points
    double descent = 0; // points below the baseline
    int linesPerPage = kLinesPerPage;
    AdvanceTable advances {};
};

// Places the lines of one page on sheets: one row per line, a line too wide
// for the paper continuing on the next row, and rows that do not fit the
// sheet continuing on a new one. Tabs become spaces up to the next stop,
// other control characters are left out, bytes from 160 up are Latin-1.
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
    double m_pitch = kMaxLinePitch;
    double m_widthLimit = 0;
};
