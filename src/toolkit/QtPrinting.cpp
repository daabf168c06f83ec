#include "toolkit/QtPrinting.h"

#include <QFile>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace {
constexpr int kPointsPerInch = 72;
} // namespace

QtPrinterGraphics::QtPrinterGraphics(std::shared_ptr<QPrinter> printer)
    : m_printer(std::move(printer))
{
    // One unit per point, so that a font set in points and every position
    // mean the same on paper as in the PDF.
    m_printer->setResolution(kPointsPerInch);
    if (!pdfFileWritable() || !m_painter.begin(m_printer.get())) {
        m_failed = true;
        return;
    }
    const int resolution = m_printer->resolution();
    if (resolution != kPointsPerInch) {
        const double scale = double(resolution) / kPointsPerInch;
        m_painter.scale(scale, scale);
    }
}

QtPrinterGraphics::~QtPrinterGraphics()
{
    finish();
}

void QtPrinterGraphics::setTextStyle(const TextStyle &style)
{
    m_font = Latin1Font(style);
    // Pages without their text are no print.
    if (!m_font.isValid())
        m_failed = true;
}

QSizeF QtPrinterGraphics::printableSize() const
{
    return m_printer->pageLayout().paintRect(QPageLayout::Point).size();
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
        const ushort c = ch.unicode();
        if (c >= 256)
            continue;
        // A space only moves the pen; leaving its glyph out keeps the PDF
        // smaller and text extraction sees the gap all the same.
        if (c != ' ') {
            m_runGlyphs.append(m_font.glyph(uchar(c)));
            m_runPositions.append(QPointF(x, row.y));
        }
        x += m_font.advance(uchar(c));
    }
}

void QtPrinterGraphics::drawSheet(const Sheet &sheet)
{
    if (!m_painter.isActive() || !m_font.isValid())
        return;
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
    if (m_painter.isActive() && !m_printer->newPage())
        m_failed = true;
}

bool QtPrinterGraphics::finish()
{
    if (!m_finished) {
        m_finished = true;
        if (m_painter.isActive() && !m_painter.end())
            m_failed = true;
        if (m_printer->printerState() == QPrinter::Error || !pdfFileComplete())
            m_failed = true;
    }
    return !m_failed;
}

// Qt's PDF engine reports no write errors: a full disk would pass for a
// print. Try the file first, and read its end back afterwards.
bool QtPrinterGraphics::pdfFileWritable() const
{
    if (m_printer->outputFormat() != QPrinter::PdfFormat || m_printer->outputFileName().isEmpty())
        return true;
    QFile file(m_printer->outputFileName());
    return file.open(QIODevice::WriteOnly) && file.write("%PDF-") == 5 && file.flush();
}

bool QtPrinterGraphics::pdfFileComplete() const
{
    if (m_printer->outputFormat() != QPrinter::PdfFormat || m_printer->outputFileName().isEmpty())
        return true;
    QFile file(m_printer->outputFileName());
    if (!QFileInfo(file).isFile())
        return true; // a device: the probe before printing is all there is
    if (!file.open(QIODevice::ReadOnly) || file.size() < 16)
        return false;
    file.seek(file.size() - 16);
    return file.read(16).contains("%%EOF");
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

std::unique_ptr<PrinterGraphics> QtPrinterSetup::openPrinterDialog()
{
    QPrintDialog dialog(m_printer.get(), nullptr);
    // Every page of the received text is printed; a range would be ignored.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (dialog.exec() != QDialog::Accepted)
        return nullptr;
    return std::make_unique<QtPrinterGraphics>(m_printer);
}

std::unique_ptr<PrinterSetup> QtPrintService::newPrinterSetup()
{
    return std::make_unique<QtPrinterSetup>();
}

std::shared_ptr<QPrinter> pdfPrinter(const QString &outputPath, const QPageSize &pageSize)
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(outputPath);
    printer->setPageSize(pageSize);
    return printer;
}
