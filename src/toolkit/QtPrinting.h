#pragma once

#include "toolkit/Latin1Font.h"
#include "toolkit/Printing.h"

#include <QGlyphRun>
#include <QPageSize>
#include <QPainter>
#include <memory>

class QPrinter;

// Draws on a QPrinter in points: one painter unit is one point from the
// top-left of the printable area. Rows are drawn as glyph runs from the
// style's Latin-1 table, so widths add up exactly as textWidth measures them.
class QtPrinterGraphics : public PrinterGraphics {
public:
    explicit QtPrinterGraphics(std::shared_ptr<QPrinter> printer);
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

private:
    void appendGlyphs(const TextRow &row);
    bool pdfFileWritable() const;
    bool pdfFileComplete() const;

    std::shared_ptr<QPrinter> m_printer;
    QPainter m_painter;
    Latin1Font m_font;
    QList<quint32> m_runGlyphs;
    QList<QPointF> m_runPositions;
    bool m_failed = false;
    bool m_finished = false;
};

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

// A printer that writes a PDF file.
std::shared_ptr<QPrinter> pdfPrinter(const QString &outputPath, const QPageSize &pageSize);
