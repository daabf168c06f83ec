#pragma once

#include <QSizeF>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

struct TextStyle {
    QString family;
    double pointSize = 10;
    bool bold = false;
    bool italic = false;
};

// One row of text; x and y are points from the top-left corner of the
// printable area, y is the baseline.
struct TextRow {
    double x = 0;
    double y = 0;
    QString text;
};

// Everything drawn on one sheet of paper.
using Sheet = QVector<TextRow>;

// What laying text out needs to know of a printer: the printable area and
// the sizes of text in a style, in points.
class PrinterMetrics {
public:
    virtual ~PrinterMetrics() = default;
    virtual void setTextStyle(const TextStyle &style) = 0;
    // The printable area in points.
    virtual QSizeF printableSize() const = 0;
    // Width in points of text in the current style, as drawSheet draws it.
    virtual double textWidth(const QString &text) const = 0;
    virtual double ascent() const = 0;
    virtual double descent() const = 0;
};

// The printer graphics that the print dialog hands out. Releasing it
// completes the print.
class PrinterGraphics : public PrinterMetrics {
public:
    virtual void drawSheet(const Sheet &sheet) = 0;
    // Later drawing goes to a new sheet.
    virtual void nextPage() = 0;
    // Ends the print; false when the printer reported a failure.
    virtual bool finish() = 0;
};

// Counts the sheets a job takes on a paper of the given metrics.
using SheetCounter = std::function<int(PrinterMetrics &metrics)>;

// One page setup, created anew for each job.
class PrinterSetup {
public:
    virtual ~PrinterSetup() = default;
    // True when the user confirmed the dialog.
    virtual bool pageSetupDialog() = 0;
    // The printer graphics, or nothing when the user cancelled. A dialog
    // offers the sheets countSheets finds on the paper of the page setup,
    // and no others; printing without a dialog never asks.
    virtual std::unique_ptr<PrinterGraphics> openPrinterDialog(const SheetCounter &countSheets) = 0;
};

class PrintService {
public:
    virtual ~PrintService() = default;
    virtual std::unique_ptr<PrinterSetup> newPrinterSetup() = 0;
};

// Prints without showing a dialog: both count as confirmed, and each job
// draws on what the maker hands out (a PDF file, say).
class DialoglessPrintService : public PrintService {
public:
    using GraphicsMaker = std::function<std::unique_ptr<PrinterGraphics>()>;
    explicit DialoglessPrintService(GraphicsMaker makeGraphics)
        : m_makeGraphics(std::move(makeGraphics))
    { }
    std::unique_ptr<PrinterSetup> newPrinterSetup() override;

private:
    GraphicsMaker m_makeGraphics;
};
