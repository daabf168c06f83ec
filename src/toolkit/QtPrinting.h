#pragma once

#include "toolkit/Latin1Font.h"
#include "toolkit/Printing.h"

#include <QGlyphRun>
#include <QPageSize>
#include <QPainter>

#include <functional>
#include <memory>

class QIODevice;
class QPagedPaintDevice;
class QPrinter;

// Draws on Qt's paged output (a printer, or a PDF writer) in points: one
// painter unit is one point from the top-left of the printable area. Rows
// are drawn as glyph runs from the style's Latin-1 table, so widths add up
// exactly as textWidth measures them.
class QtPrinterGraphics : public PrinterGraphics {
public:
    // The device must already be set to 72 dpi. outputComplete, asked once
    // the last page is done, tells whether the output reached its place.
    QtPrinterGraphics(std::shared_ptr<QPagedPaintDevice> device,
                      std::function<bool()> outputComplete = {});
    ~QtPrinterGraphics() override;

    void setTextStyle(const TextStyle &style) override;
    QSizeF printableSize() const override;
    double textWidth(const QString &text) const override;
    double ascent() const override;
    double descent() const override;
    void drawSheet(const Sheet &sheet) override;
    void nextPage() override;
    bool finish() override;

    bool isPainting() const { return m_painter.isActive(); }

    // Only sheets first to last (counted from 1; last 0: to the end) reach
    // the device, as the print dialog's page range asks.
    void setSheetRange(int first, int last);

private:
    void appendGlyphs(const TextRow &row);
    bool sheetWanted() const;

    std::shared_ptr<QPagedPaintDevice> m_device;
    std::function<bool()> m_outputComplete;
    QPainter m_painter;
    Latin1Font m_font;
    QList<quint32> m_runGlyphs;
    QList<QPointF> m_runPositions;
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
    std::unique_ptr<PrinterGraphics> openPrinterDialog() override;

private:
    std::shared_ptr<QPrinter> m_printer;
};

class QtPrintService : public PrintService {
public:
    std::unique_ptr<PrinterSetup> newPrinterSetup() override;
};
