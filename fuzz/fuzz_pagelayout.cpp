// For any received bytes, on A4 and on Letter: every drawn character comes
// out exactly once and in order (tabs as spaces to the next stop), nothing
// lies outside the printable area, and no sheet holds more rows than fit.

#include "printjob/PageLayout.h"
#include "printjob/Pagination.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {
void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool isDrawn(uchar c)
{
    return (c >= 32 && c < 127) || c >= 160;
}

// Helvetica-like widths: from a thin "i" to a wide "W".
LayoutMetrics metricsFor(QSizeF printable)
{
    LayoutMetrics metrics;
    metrics.printable = printable;
    metrics.descent = 2.2;
    for (int c = 0; c < 256; ++c)
        metrics.advances[c] = isDrawn(uchar(c)) ? 2.5 + (c * 37 % 70) / 10.0 : 0;
    return metrics;
}

// What one line should print as, tabs expanded.
QString expectedOf(QByteArrayView line)
{
    QString out;
    for (const char byte : line) {
        const uchar c = uchar(byte);
        if (c == '\t') {
            do {
                out += QLatin1Char(' ');
            } while (out.size() % kTabColumns != 0);
        } else if (isDrawn(c)) {
            out += QChar(c);
        }
    }
    return out;
}

void checkPaper(QByteArrayView text, QSizeF printable)
{
    const LayoutMetrics metrics = metricsFor(printable);
    const PageLayout layout(metrics);
    const double pitch = layout.linePitch();
    check(pitch > 0 && pitch <= kMaxLinePitch);
    const int rowsThatFit =
        int(std::floor((printable.height() - kFirstBaseline - metrics.descent) / pitch + 1e-6)) + 1;

    PageCutter pages(text, 62);
    while (!pages.atEnd()) {
        const PageLines lines = pages.nextPage();
        QString expected;
        for (const QByteArrayView line : lines)
            expected += expectedOf(line);
        QString printed;
        for (const Sheet &sheet : layout.layOutPage(lines)) {
            check(sheet.size() <= rowsThatFit);
            double lastY = 0;
            for (const TextRow &row : sheet) {
                check(row.y > lastY);
                lastY = row.y;
                double width = 0;
                for (const QChar ch : row.text)
                    width += metrics.advances[ch.unicode()];
                check(row.x >= 0 && row.x + width <= printable.width() + 1e-6);
                check(row.y + metrics.descent <= printable.height() + 1e-6);
                printed += row.text;
            }
        }
        check(printed == expected);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    checkPaper(text, QSizeF(575, 822)); // A4 less 10 pt margins
    checkPaper(text, QSizeF(592, 772)); // Letter less 10 pt margins
    return 0;
}
