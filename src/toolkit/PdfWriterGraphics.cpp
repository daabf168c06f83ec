#include "toolkit/PdfWriterGraphics.h"

#include "toolkit/PdfFileWriter.h"
#include "toolkit/PdfFont.h"
#include "toolkit/QtPrinting.h"

#include <QDateTime>
#include <QPrinter>

#include <cmath>

namespace {
// Page contents compressed at zlib's fastest level: a third of the size for
// little time.
constexpr bool kCompressPages = true;

qint64 thousandths(double points)
{
    return std::llround(points * 1000);
}

bool sameStyle(const TextStyle &a, const TextStyle &b)
{
    return a.family == b.family && a.pointSize == b.pointSize && a.bold == b.bold &&
        a.italic == b.italic;
}
} // namespace

struct PdfWriterGraphics::EmbeddedFont {
    TextStyle style;
    PdfFont font;
    int id = 0;
    QByteArray resource; // selects the font and its size in a content stream
};

PdfWriterGraphics::PdfWriterGraphics(const QString &outputPath, const QPageSize &paper)
    : m_outputPath(outputPath),
      m_paper(paper),
      // The page and margins a PDF QPrinter has for this paper, so that the
      // printable area is the one QtPrinterGraphics offers.
      m_layout(pdfPrinter(outputPath, paper)->pageLayout()),
      m_file(std::make_unique<PdfFileWriter>(outputPath))
{
    m_catalogId = m_file->reserveObject();
    m_pagesId = m_file->reserveObject();
    m_resourcesId = m_file->reserveObject();

    // PDF's y grows upwards from the bottom of the paper.
    const QRectF full = m_layout.fullRect(QPageLayout::Point);
    const QRectF paint = m_layout.paintRect(QPageLayout::Point);
    m_originX = paint.left();
    m_originY = full.height() - paint.top();
    m_pageHead = "<< /Type /Page /Parent " + QByteArray::number(m_pagesId) + " 0 R /MediaBox [0 0 ";
    appendPdfNumber(m_pageHead, full.width());
    m_pageHead += ' ';
    appendPdfNumber(m_pageHead, full.height());
    m_pageHead += "] /Resources " + QByteArray::number(m_resourcesId) + " 0 R /Contents ";
}

PdfWriterGraphics::~PdfWriterGraphics()
{
    finish();
}

void PdfWriterGraphics::setTextStyle(const TextStyle &style)
{
    if (m_fallback) {
        m_fallback->setTextStyle(style);
        return;
    }
    m_font = Latin1Font(style);
    m_current = -1;
    if (!m_font.isValid()) {
        m_failed = true; // pages without their text are no print
        return;
    }
    for (int i = 0; i < m_fonts.size(); ++i) {
        if (sameStyle(m_fonts[i].style, style)) {
            m_current = i;
            return;
        }
    }
    PdfFont font(m_font);
    if (!font.isEmbeddable()) {
        if (!m_pageIds.isEmpty() || !m_content.isEmpty()) {
            m_failed = true; // too late to hand over: this style would be lost
            return;
        }
        m_file->abandon();
        m_file.reset();
        m_fallback = std::make_unique<QtPrinterGraphics>(pdfPrinter(m_outputPath, m_paper));
        m_fallback->setTextStyle(style);
        return;
    }
    QByteArray resource = "/F" + QByteArray::number(m_fonts.size() + 1) + ' ';
    appendPdfNumber(resource, style.pointSize);
    resource += " Tf\n";
    m_fonts.append({style, std::move(font), m_file->reserveObject(), resource});
    m_current = int(m_fonts.size() - 1);
}

void PdfWriterGraphics::writeFonts()
{
    QByteArray references;
    for (int i = 0; i < m_fonts.size(); ++i) {
        const EmbeddedFont &font = m_fonts[i];
        const int descriptorId = m_file->reserveObject();
        const int programId = m_file->reserveObject();
        const int toUnicodeId = m_file->reserveObject();
        m_file->writeObject(font.id, font.font.fontDictionary(descriptorId, toUnicodeId));
        m_file->writeObject(descriptorId, font.font.descriptorDictionary(programId));
        m_file->writeStream(programId, " /Subtype /Type1C", font.font.program(), kCompressPages);
        m_file->writeStream(toUnicodeId, QByteArray(), PdfFont::toUnicodeMap(), false);
        references +=
            "/F" + QByteArray::number(i + 1) + ' ' + QByteArray::number(font.id) + " 0 R ";
    }
    m_file->writeObject(m_resourcesId, "<< /ProcSet [/PDF /Text] /Font << " + references + ">> >>");
}

QSizeF PdfWriterGraphics::printableSize() const
{
    if (m_fallback)
        return m_fallback->printableSize();
    return m_layout.paintRect(QPageLayout::Point).size();
}

double PdfWriterGraphics::textWidth(const QString &text) const
{
    return m_fallback ? m_fallback->textWidth(text) : m_font.textWidth(text);
}

double PdfWriterGraphics::ascent() const
{
    return m_fallback ? m_fallback->ascent() : m_font.ascent();
}

double PdfWriterGraphics::descent() const
{
    return m_fallback ? m_fallback->descent() : m_font.descent();
}

void PdfWriterGraphics::appendRow(const TextRow &row, PdfFont &font, qint64 &penX, qint64 &penY)
{
    const qint64 x = thousandths(m_originX + row.x);
    const qint64 y = thousandths(m_originY - row.y);
    appendPdfThousandths(m_content, x - penX);
    m_content += ' ';
    appendPdfThousandths(m_content, y - penY);
    m_content += " Td (";
    penX = x;
    penY = y;
    for (const QChar ch : row.text) {
        const ushort c = ch.unicode();
        if (c >= 256)
            continue; // not in the font's encoding, as on a QPrinter
        font.markUsed(uchar(c));
        if (c == '(' || c == ')' || c == '\\') {
            m_content += '\\';
            m_content += char(c);
        } else if (c < 32) {
            const char escaped[4] = {'\\', char('0' + (c >> 6)), char('0' + ((c >> 3) & 7)),
                                     char('0' + (c & 7))};
            m_content.append(escaped, 4);
        } else {
            m_content += char(c);
        }
    }
    m_content += ") Tj\n";
}

void PdfWriterGraphics::drawSheet(const Sheet &sheet)
{
    if (m_fallback) {
        m_fallback->drawSheet(sheet);
        return;
    }
    if (m_current < 0 || sheet.isEmpty() || m_failed)
        return;
    EmbeddedFont &font = m_fonts[m_current];
    m_content += "BT\n" + font.resource;
    qint64 penX = 0;
    qint64 penY = 0;
    for (const TextRow &row : sheet)
        appendRow(row, font.font, penX, penY);
    m_content += "ET\n";
}

void PdfWriterGraphics::endPage()
{
    const int contentId = m_file->reserveObject();
    const int pageId = m_file->reserveObject();
    m_file->writeStream(contentId, QByteArray(), m_content, kCompressPages);
    m_content.clear();
    m_file->writeObject(pageId, m_pageHead + QByteArray::number(contentId) + " 0 R >>");
    m_pageIds.append(pageId);
}

void PdfWriterGraphics::nextPage()
{
    if (m_fallback) {
        m_fallback->nextPage();
        return;
    }
    if (!m_failed)
        endPage();
}

bool PdfWriterGraphics::finish()
{
    if (m_fallback)
        return m_fallback->finish() && !m_failed;
    if (m_finished)
        return !m_failed;
    m_finished = true;
    if (m_file->failed()) {
        m_failed = true;
        m_file->abandon();
        return false;
    }
    endPage();
    writeFonts();
    QByteArray pages =
        "<< /Type /Pages /Count " + QByteArray::number(m_pageIds.size()) + " /Kids [";
    for (int i = 0; i < m_pageIds.size(); ++i) {
        pages += QByteArray::number(m_pageIds[i]) + " 0 R";
        pages += (i % 10 == 9) ? '\n' : ' ';
    }
    pages += "] >>";
    m_file->writeObject(m_pagesId, pages);
    m_file->writeObject(m_catalogId,
                        "<< /Type /Catalog /Pages " + QByteArray::number(m_pagesId) + " 0 R >>");
    const int infoId = m_file->reserveObject();
    m_file->writeObject(infoId,
                        "<< /Producer (tessary) /CreationDate (D:" +
                            QDateTime::currentDateTimeUtc().toString("yyyyMMddHHmmss").toLatin1() +
                            "Z) >>");
    if (!m_file->finish(m_catalogId, infoId))
        m_failed = true;
    return !m_failed;
}
