#pragma once

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

// What a PDF holds, read back with poppler's tools.

// Whether poppler's tools are there to read a PDF back; tests that need
// them check it first and fail with this message.
bool pdfToolsPresent();
inline constexpr char kPdfToolsNeeded[] =
    "pdftotext (poppler-utils) is needed to read the output back";

// The text pdftotext -layout reads, one string per page.
QStringList pdfPages(const QString &pdfPath);

// One word as pdftotext -bbox places it, in points from the page's top left.
struct PdfWord {
    int page = 0; // from 0
    QRectF box;
    QString text;
};
QList<PdfWord> pdfWords(const QString &pdfPath);

// The page count pdfinfo reports; -1 when it cannot read the file.
int pdfPageCount(const QString &pdfPath);
// The page size in points pdfinfo reports, e.g. "595.276 x 841.89".
QString pdfPageSize(const QString &pdfPath);

// The lines of a page that hold anything, trimmed.
QStringList nonEmptyLines(const QString &page);
// Text with all white space taken out: pdftotext may widen gaps.
QString withoutSpaces(QString text);
