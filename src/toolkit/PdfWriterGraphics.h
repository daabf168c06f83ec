#pragma once

#include "toolkit/Latin1Font.h"
#include "toolkit/Printing.h"

#include <QPageLayout>
#include <QPageSize>

#include <memory>

class PdfFileWriter;
class PdfFont;

// Writes the sheets straight into a PDF file as text operators in the
// style's own embedded font: no painter, no glyph-by-glyph placement. Text
// lands where QtPrinterGraphics puts it (the same printable area and the
// same advances). A style whose font cannot be embedded this way hands the
// whole print to QtPrinterGraphics, as long as nothing has been drawn yet.
class PdfWriterGraphics : public PrinterGraphics {
public:
    PdfWriterGraphics(const QString &outputPath, const QPageSize &paper);
    ~PdfWriterGraphics() override;

    void setTextStyle(const TextStyle &style) override;
    QSizeF printableSize() const override;
    double textWidth(const QString &text) const override;
    double ascent() const override;
    double descent() const override;
    void drawSheet(const Sheet &sheet) override;
    void nextPage() override;
    bool finish() override;

    // True once the print went to QtPrinterGraphics instead.
    bool handedToQt() const { return m_fallback != nullptr; }

private:
    struct EmbeddedFont;

    void endPage();
    void writeFonts();
    void appendRow(const TextRow &row, PdfFont &font, qint64 &penX, qint64 &penY);

    QString m_outputPath;
    QPageSize m_paper;
    QPageLayout m_layout;
    double m_originX = 0; // the printable area's top-left in PDF space
    double m_originY = 0;
    QByteArray m_pageHead; // a page dictionary up to its contents
    std::unique_ptr<PdfFileWriter> m_file;
    std::unique_ptr<PrinterGraphics> m_fallback;
    Latin1Font m_font;
    QVector<EmbeddedFont> m_fonts;
    int m_current = -1; // the font of the style set, -1 when it has none
    QVector<int> m_pageIds;
    int m_catalogId = 0;
    int m_pagesId = 0;
    int m_resourcesId = 0;
    QByteArray m_content;
    bool m_failed = false;
    bool m_finished = false;
};
