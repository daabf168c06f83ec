#pragma once

#include "toolkit/Printing.h"

#include <QPageSize>
#include <QStringList>

// Stands in for the page-setup and print dialogs and records what a job
// does, in order. The graphics either measures with a fixed advance per
// character, or draws for real while still recording: into a PDF file
// (pdfPath) through the printer graphics a print to file gets, or on a
// printer of the system (printerName) as the print dialog hands it out.
class RecordingPrintService : public PrintService {
public:
    std::unique_ptr<PrinterSetup> newPrinterSetup() override;

    // What the dialogs answer.
    bool confirmPageSetup = true;
    bool acceptPrintDialog = true;

    // The fake graphics.
    QSizeF printable {575, 822}; // A4 less 10 pt margins
    double advance = 6;
    double ascentPt = 7.5;
    double descentPt = 2.5;
    bool failOnFinish = false;

    // Real output instead.
    QString pdfPath;
    QPageSize pdfPaper {QPageSize::A4};
    QString printerName;

    // Every call on the setups and graphics, in order: "newPrinterSetup",
    // "pageSetupDialog", "openPrinterDialog", "setTextStyle", "drawSheet",
    // "nextPage", "finish", "release".
    QStringList calls;
    QList<TextStyle> styles;
    // The sheets each print dialog offered, counted before it opened.
    QList<int> offeredSheets;
    QVector<Sheet> sheets;

    // The text of every row drawn, sheet after sheet.
    QStringList rowTexts() const;
    int count(const QString &call) const { return int(calls.count(call)); }
};
