// For any received bytes, on A4 and on Letter, in each character set: every
// drawn character comes out exactly once and in order, as its set draws it
// (tabs as spaces to the next stop), nothing lies outside the printable
// area, and no sheet holds more rows than fit.

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

// Helvetica-like widths: from a thin "i" to a wide "W".
double advanceOf(char16_t c)
{
    return 2.5 + (c * 37 % 70) / 10.0;
}

LayoutMetrics metricsFor(QSizeF printable, CharacterSet set)
{
    LayoutMetrics metrics;
    metrics.printable = printable;
    metrics.descent = 2.2;
    metrics.charset = set;
    const CharacterTable &characters = characterTable(set);
    for (int c = 0; c < 256; ++c)
        metrics.advances[c] = characters[c] != 0 ? advanceOf(characters[c]) : 0;
    return metrics;
}

// What one line should print as, tabs expanded.
QString expectedOf(QByteArrayView line, CharacterSet set)
{
    const CharacterTable &characters = characterTable(set);
    QString out;
    for (const char byte : line) {
        const uchar c = uchar(byte);
        if (c == '\t') {
            do {
                out += QLatin1Char(' ');
            } while (out.size() % kTabColumns != 0);
        } else if (characters[c] != 0) {
            out += QChar(characters[c]);
        }
    }
    return out;
}

void checkPaper(QByteArrayView text, QSizeF printable, CharacterSet set)
{
    const LayoutMetrics metrics = metricsFor(printable, set);
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
            expected += expectedOf(line, set);
        QString printed;
        for (const Sheet &sheet : layout.layOutPage(lines)) {
            check(sheet.size() <= rowsThatFit);
            double lastY = 0;
            for (const TextRow &row : sheet) {
                check(row.y > lastY);
                lastY = row.y;
                double width = 0;
                for (const QChar ch : row.text)
                    width += advanceOf(ch.unicode());
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
    for (const CharacterSet set : {CharacterSet::Pc1600, CharacterSet::Latin1}) {
        checkPaper(text, QSizeF(575, 822), set); // A4 less 10 pt margins
        checkPaper(text, QSizeF(592, 772), set); // Letter less 10 pt margins
    }
    return 0;
}
