#include "toolkit/QtPrinting.h"

#include "toolkit/FontCheck.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>

#include <cups/cups.h>

namespace {
constexpr int kPointsPerInch = 72;

// Qt's PDF engine reports no write errors: a full disk would pass for a
// print. Try the file first, and read its end back afterwards.
bool pdfFileWritable(const QPrinter &printer)
{
    if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty())
        return true;
    QFile file(printer.outputFileName());
    return file.open(QIODevice::WriteOnly) && file.write("%PDF-") == 5 && file.flush();
}

// Qt's CUPS printing drops what CUPS answers to the job, so a queue that
// refuses it would pass for a print; CUPS keeps its answer for this thread.
bool printerTookTheJob(const QPrinter &printer)
{
    return printer.outputFormat() != QPrinter::NativeFormat ||
        cupsLastError() <= IPP_STATUS_OK_CONFLICTING;
}

bool pdfFileComplete(const QPrinter &printer)
{
    if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty())
        return true;
    QFile file(printer.outputFileName());
    if (!QFileInfo(file).isFile())
        return true; // a device: the probe before printing is all there is
    if (!file.open(QIODevice::ReadOnly) || file.size() < 16)
        return false;
    file.seek(file.size() - 16);
    return file.read(16).contains("%%EOF");
}
} // namespace

QtPrinterGraphics::QtPrinterGraphics(std::shared_ptr<QPagedPaintDevice> device, OutputChecks checks)
    : m_device(std::move(device)), m_checks(std::move(checks))
{
    if (!m_device)
        m_failed = true;
}

QtPrinterGraphics::~QtPrinterGraphics()
{
    finish();
}

void QtPrinterGraphics::setTextStyle(const TextStyle &style)
{
    m_font = ListingFont(style);
    // Pages without their text are no print.
    if (!m_font.isValid()) {
        m_failed = true;
        return;
    }
    warnOnceAboutSubstitute(style.family, m_font.family());
}

QSizeF QtPrinterGraphics::printableSize() const
{
    if (!m_device)
        return {};
    return m_device->pageLayout().paintRect(QPageLayout::Point).size();
}

double QtPrinterGraphics::textWidth(const QString &text) const
{
    return m_font.textWidth(text);
}

double QtPrinterGraphics::ascent() const
{
    return m_font.ascent();
}

double QtPrinterGraphics::descent() const
{
    return m_font.descent();
}

void QtPrinterGraphics::appendGlyphs(const TextRow &row)
{
    double x = row.x;
    for (const QChar ch : row.text) {
        // A space only moves the pen; leaving its glyph out keeps the PDF
        // smaller and text extraction sees the gap all the same.
        if (ch != QLatin1Char(' ')) {
            const quint32 glyph = m_font.glyph(ch);
            if (glyph != 0) {
                m_runGlyphs.append(glyph);
                m_runPositions.append(QPointF(x, row.y));
            } else if (!m_noGlyph.contains(ch)) {
                m_noGlyph.append(ch);
            }
        }
        x += m_font.advance(ch);
    }
}

void QtPrinterGraphics::setSheetRange(int first, int last)
{
    m_firstSheet = std::max(1, first);
    m_lastSheet = std::max(0, last);
}

bool QtPrinterGraphics::sheetWanted() const
{
    return m_sheet >= m_firstSheet && (m_lastSheet == 0 || m_sheet <= m_lastSheet);
}

bool QtPrinterGraphics::startOutput()
{
    if (m_painter.isActive())
        return true;
    if (m_failed || m_finished || (m_checks.ready && !m_checks.ready()) ||
        !m_painter.begin(m_device.get()))
        m_failed = true;
    return !m_failed;
}

void QtPrinterGraphics::drawSheet(const Sheet &sheet)
{
    if (!m_font.isValid() || !sheetWanted() || !startOutput())
        return;
    // The device starts on its first page; each later sheet gets its own.
    if (m_sheetsOut > 0 && !m_device->newPage())
        m_failed = true;
    ++m_sheetsOut;
    // The whole sheet as one glyph run: one text item for the PDF engine
    // instead of one per row.
    m_runGlyphs.clear();
    m_runPositions.clear();
    for (const TextRow &row : sheet)
        appendGlyphs(row);
    if (m_runGlyphs.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(m_font.rawFont());
    run.setGlyphIndexes(m_runGlyphs);
    run.setPositions(m_runPositions);
    m_painter.drawGlyphRun(QPointF(0, 0), run);
}

void QtPrinterGraphics::nextPage()
{
    ++m_sheet;
}

bool QtPrinterGraphics::finish()
{
    if (!m_finished) {
        m_finished = true;
        if (m_painter.isActive() && !m_painter.end())
            m_failed = true;
        if (m_sheetsOut > 0 && m_checks.complete && !m_checks.complete())
            m_failed = true;
        warnOnceAboutMissingGlyphs(m_font.family(), m_noGlyph);
    }
    return !m_failed;
}

std::unique_ptr<PrinterGraphics> printerGraphics(std::shared_ptr<QPrinter> printer)
{
    // One unit per point, so that a font set in points and every position
    // mean the same on paper as in the PDF.
    printer->setResolution(kPointsPerInch);
    QPrinter *raw = printer.get();
    QtPrinterGraphics::OutputChecks checks;
    checks.ready = [raw] { return pdfFileWritable(*raw); };
    checks.complete = [raw] {
        return raw->printerState() != QPrinter::Error && pdfFileComplete(*raw) &&
            printerTookTheJob(*raw);
    };
    auto graphics = std::make_unique<QtPrinterGraphics>(std::move(printer), std::move(checks));
    // The page range the user picked in the print dialog, in sheets.
    if (raw->printRange() == QPrinter::PageRange)
        graphics->setSheetRange(raw->fromPage(), raw->toPage());
    return graphics;
}

std::unique_ptr<PrinterGraphics> pdfGraphics(QIODevice *output, const QPageSize &paper)
{
    auto writer = std::make_shared<QPdfWriter>(output);
    writer->setResolution(kPointsPerInch);
    // A printer's default layout, so a PDF made here matches a print.
    writer->setPageLayout(
        QPageLayout(paper, QPageLayout::Portrait, QMarginsF(10, 10, 10, 10), QPageLayout::Point));
    writer->setCreator(QCoreApplication::applicationName());
    return std::make_unique<QtPrinterGraphics>(std::move(writer));
}

std::shared_ptr<QPrinter> pdfPrinter(const QString &outputPath, const QPageSize &pageSize)
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(outputPath);
    printer->setPageSize(pageSize);
    return printer;
}

QtPrinterSetup::QtPrinterSetup() : m_printer(std::make_shared<QPrinter>(QPrinter::HighResolution))
{ }

bool QtPrinterSetup::pageSetupDialog()
{
    // Refuses non-native printers (PDF) and shows nothing: the print dialog
    // then carries the page settings.
    QPageSetupDialog dialog(m_printer.get(), nullptr);
    return dialog.exec() == QDialog::Accepted;
}

std::unique_ptr<PrinterGraphics> QtPrinterSetup::openPrinterDialog(const SheetCounter &countSheets)
{
    // Only the sheets the job has, on the paper of the page setup: a range
    // past its end would select nothing.
    QtPrinterMetrics metrics(m_printer->pageLayout());
    const int sheets = std::max(1, countSheets(metrics));
    QPrintDialog dialog(m_printer.get(), nullptr);
    // A page range is honoured (the graphics skips the other sheets);
    // printing a selection or the current page means nothing here.
    dialog.setMinMax(1, sheets);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (dialog.exec() != QDialog::Accepted)
        return nullptr;
    return printerGraphics(m_printer);
}

std::unique_ptr<PrinterSetup> QtPrintService::newPrinterSetup()
{
    return std::make_unique<QtPrinterSetup>();
}
