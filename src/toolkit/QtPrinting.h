#pragma once

#include "toolkit/ListingFont.h"
#include "toolkit/Printing.h"

#include <QGlyphRun>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>

#include <functional>
#include <memory>

class QIODevice;
class QPagedPaintDevice;
class QPrinter;

// Measures text as QtPrinterGraphics draws it, on a paper of the given
// layout, without a device.
class QtPrinterMetrics : public PrinterMetrics {
public:
    explicit QtPrinterMetrics(const QPageLayout &layout) : m_layout(layout) { }
    void setTextStyle(const TextStyle &style) override { m_font = ListingFont(style); }
    QSizeF printableSize() const override { return m_layout.paintRect(QPageLayout::Point).size(); }
    double textWidth(const QString &text) const override { return m_font.textWidth(text); }
    double ascent() const override { return m_font.ascent(); }
    double descent() const override { return m_font.descent(); }

private:
    QPageLayout m_layout;
    ListingFont m_font;
};

// Draws on Qt's paged output (a printer, or a PDF writer) in points: one
// painter unit is one point from the top-left of the printable area. Rows
// are drawn as glyph runs from the style's ListingFont, so widths add up
// exactly as textWidth measures them; a character the font has no glyph for
// is left blank, and named once on standard error. The output starts with the first
// sheet drawn: a print that draws none leaves no trace, not even a blank
// sheet.
class QtPrinterGraphics : public PrinterGraphics {
public:
    // What the output is asked, each once: ready, just before the first
    // sheet, whether it can take the print; complete, once the last sheet
    // is done, whether the print reached its place.
    struct OutputChecks {
        std::function<bool()> ready;
        std::function<bool()> complete;
    };

    // The device must already be set to 72 dpi.
    explicit QtPrinterGraphics(std::shared_ptr<QPagedPaintDevice> device, OutputChecks checks = {});
    ~QtPrinterGraphics() override;

    void setTextStyle(const TextStyle &style) override;
    QSizeF printableSize() const override;
    double textWidth(const QString &text) const override;
    double ascent() const override;
    double descent() const override;
    void drawSheet(const Sheet &sheet) override;
    void nextPage() override;
    bool finish() override;

    // Only sheets first to last (counted from 1; last 0: to the end) reach
    // the device, as the print dialog's page range asks.
    void setSheetRange(int first, int last);

private:
    void appendGlyphs(const TextRow &row);
    bool sheetWanted() const;
    bool startOutput();

    std::shared_ptr<QPagedPaintDevice> m_device;
    OutputChecks m_checks;
    QPainter m_painter;
    ListingFont m_font;
    QList<quint32> m_runGlyphs;
    QList<QPointF> m_runPositions;
    QString m_noGlyph; // characters drawn blank, for the warning
    int m_sheet = 1; // the sheet being drawn, counted from 1
    int m_firstSheet = 1;
    int m_lastSheet = 0;
    int m_sheetsOut = 0; // sheets that went to the device
    bool m_failed = false;
    bool m_finished = false;
};

// Graphics on a printer the print dialog set up, a PDF file included.
std::unique_ptr<PrinterGraphics> printerGraphics(std::shared_ptr<QPrinter> printer);

// Graphics writing a PDF into an open device (a file being saved, standard
// output) with the page layout a printer would have on that paper.
std::unique_ptr<PrinterGraphics> pdfGraphics(QIODevice *output, const QPageSize &paper);

// A printer that writes a PDF file, as the print dialog's "print to file" does.
std::shared_ptr<QPrinter> pdfPrinter(const QString &outputPath, const QPageSize &pageSize);

// The page setup and print dialogs of the system, each with no parent window.
class QtPrinterSetup : public PrinterSetup {
public:
    QtPrinterSetup();
    bool pageSetupDialog() override;
    std::unique_ptr<PrinterGraphics> openPrinterDialog(const SheetCounter &countSheets) override;

private:
    std::shared_ptr<QPrinter> m_printer;
};

class QtPrintService : public PrintService {
public:
    std::unique_ptr<PrinterSetup> newPrinterSetup() override;
};
