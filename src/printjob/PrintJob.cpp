#include "printjob/PrintJob.h"

#include "printjob/PageLayout.h"
#include "printjob/Pagination.h"
#include "toolkit/Printing.h"
#include "toolkit/QtPrinting.h"
#include "toolkit/Waiting.h"

namespace {
const TextStyle kListingStyle {QStringLiteral("Helvetica"), 10, false, false};

LayoutMetrics metricsOf(const PrinterMetrics &printer, CharacterSet charset)
{
    LayoutMetrics metrics;
    metrics.printable = printer.printableSize();
    metrics.descent = printer.descent();
    metrics.charset = charset;
    metrics.advances = measureAdvances(printer, charset);
    return metrics;
}

int sheetsFor(QByteArrayView text, PrinterMetrics &printer, CharacterSet charset,
              const std::function<void()> &perLine)
{
    printer.setTextStyle(kListingStyle);
    const PageLayout layout(metricsOf(printer, charset));
    int sheets = 0;
    PageCutter pages(text);
    while (!pages.atEnd())
        sheets += int(layout.layOutPage(pages.nextPage(), perLine).size());
    return sheets;
}
} // namespace

PrintOutcome PrintReceivedText(const QByteArray &text, PrintService &printing, Yield &yield,
                               const PageDone &pageDone, CharacterSet charset)
{
    PrintOutcome outcome;
    if (text.isEmpty())
        return outcome;

    const auto perLine = [&yield] { yield.yield(); };
    const std::unique_ptr<PrinterSetup> setup = printing.newPrinterSetup();
    setup->pageSetupDialog(); // cancelled or not, the print dialog follows
    const std::unique_ptr<PrinterGraphics> graphics = setup->openPrinterDialog(
        [&](PrinterMetrics &metrics) { return sheetsFor(text, metrics, charset, perLine); });
    if (!graphics) {
        outcome.cancelled = true;
        return outcome;
    }

    graphics->setTextStyle(kListingStyle);
    const PageLayout layout(metricsOf(*graphics, charset));

    PageCutter pages(text);
    while (!pages.atEnd()) {
        const QVector<Sheet> sheets = layout.layOutPage(pages.nextPage(), perLine);
        ++outcome.pages;
        for (const Sheet &sheet : sheets) {
            if (outcome.sheets > 0)
                graphics->nextPage();
            graphics->drawSheet(sheet);
            ++outcome.sheets;
        }
        if (pageDone)
            pageDone(outcome.pages);
    }
    outcome.failed = !graphics->finish();
    return outcome;
}

PrintOutcome PrintTextToPdf(const QByteArray &text, QIODevice *output, const QPageSize &paper,
                            Yield &yield, const PageDone &pageDone, CharacterSet charset)
{
    DialoglessPrintService printing([&] { return pdfGraphics(output, paper); });
    return PrintReceivedText(text, printing, yield, pageDone, charset);
}
