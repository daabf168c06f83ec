#include "toolkit/PdfFont.h"

#include "toolkit/CffFont.h"
#include "toolkit/PdfFileWriter.h"

#include <QCryptographicHash>

namespace {
constexpr double kUnitsPerEm = 1000; // PDF's glyph space

// The glyph names of WinAnsiEncoding for codes 32-126 and 160-255, except
// that 160 and 173 get names of their own (WinAnsi reuses space and
// hyphen), so that each code keeps the glyph Qt draws for it.
// clang-format off
const char *const kAsciiNames[] = {
    "space", "exclam", "quotedbl", "numbersign", "dollar", "percent", "ampersand", "quotesingle",
    "parenleft", "parenright", "asterisk", "plus", "comma", "hyphen", "period", "slash", "zero",
    "one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "colon", "semicolon",
    "less", "equal", "greater", "question", "at", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J",
    "K", "L", "M", "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z", "bracketleft",
    "backslash", "bracketright", "asciicircum", "underscore", "grave", "a", "b", "c", "d", "e",
    "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q", "r", "s", "t", "u", "v", "w", "x",
    "y", "z", "braceleft", "bar", "braceright", "asciitilde"};
const char *const kLatin1Names[] = {
    "uni00A0", "exclamdown", "cent", "sterling", "currency", "yen", "brokenbar", "section",
    "dieresis", "copyright", "ordfeminine", "guillemotleft", "logicalnot", "uni00AD", "registered",
    "macron", "degree", "plusminus", "twosuperior", "threesuperior", "acute", "mu", "paragraph",
    "periodcentered", "cedilla", "onesuperior", "ordmasculine", "guillemotright", "onequarter",
    "onehalf", "threequarters", "questiondown", "Agrave", "Aacute", "Acircumflex", "Atilde",
    "Adieresis", "Aring", "AE", "Ccedilla", "Egrave", "Eacute", "Ecircumflex", "Edieresis",
    "Igrave", "Iacute", "Icircumflex", "Idieresis", "Eth", "Ntilde", "Ograve", "Oacute",
    "Ocircumflex", "Otilde", "Odieresis", "multiply", "Oslash", "Ugrave", "Uacute", "Ucircumflex",
    "Udieresis", "Yacute", "Thorn", "germandbls", "agrave", "aacute", "acircumflex", "atilde",
    "adieresis", "aring", "ae", "ccedilla", "egrave", "eacute", "ecircumflex", "edieresis",
    "igrave", "iacute", "icircumflex", "idieresis", "eth", "ntilde", "ograve", "oacute",
    "ocircumflex", "otilde", "odieresis", "divide", "oslash", "ugrave", "uacute", "ucircumflex",
    "udieresis", "yacute", "thorn", "ydieresis"};
// clang-format on
static_assert(std::size(kAsciiNames) == 95 && std::size(kLatin1Names) == 96);

const char *glyphName(int c)
{
    if (c >= 32 && c < 127)
        return kAsciiNames[c - 32];
    if (c >= 160 && c < 256)
        return kLatin1Names[c - 160];
    return nullptr;
}

QByteArray nameToken(const QString &text)
{
    QByteArray token;
    for (const QChar ch : text) {
        const ushort c = ch.unicode();
        if (c > 32 && c < 127 && !QByteArray("()<>[]{}/%#").contains(char(c)))
            token += char(c);
    }
    return token;
}
} // namespace

PdfFont::PdfFont(const Latin1Font &font) : m_font(font)
{
    if (!m_font.isValid() || m_font.pointSize() <= 0)
        return;
    // Outlines and metrics in PDF glyph space: the font at 1000 units. At
    // the print size they would be rounded to whole units of the size.
    m_design = m_font.rawFont();
    m_design.setPixelSize(kUnitsPerEm);
    const QRawFont &raw = m_design;
    for (int c = 33; c < 127 && !m_embeddable; ++c)
        m_embeddable = !raw.pathForGlyph(m_font.glyph(uchar(c))).isEmpty();
    // Without outlines (no font installed at all) the printer's own engine
    // takes over; such a font's names are not even safe to ask for.
    if (!m_embeddable)
        return;
    m_postScriptName = nameToken(raw.familyName());
    const QByteArray style = nameToken(raw.styleName());
    if (!style.isEmpty())
        m_postScriptName += '-' + style;
    if (m_postScriptName.isEmpty())
        m_postScriptName = "Font";
}

QByteArray PdfFont::subsetName() const
{
    // A subset's name starts with six capitals of its own.
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char *>(m_used.data()), qsizetype(m_used.size())),
        QCryptographicHash::Md5);
    QByteArray tag;
    for (int i = 0; i < 6; ++i)
        tag += char('A' + uchar(digest[i]) % 26);
    return tag + '+' + m_postScriptName;
}

QByteArray PdfFont::fontDictionary(int descriptorId, int toUnicodeId) const
{
    const double toPdf = kUnitsPerEm / m_font.pointSize();
    QByteArray out = "<< /Type /Font /Subtype /Type1 /BaseFont /" + subsetName() +
        " /FirstChar 32 /LastChar 255"
        " /Encoding << /BaseEncoding /WinAnsiEncoding /Differences [160 /uni00A0 173 /uni00AD] >>"
        " /FontDescriptor " +
        QByteArray::number(descriptorId) + " 0 R /ToUnicode " + QByteArray::number(toUnicodeId) +
        " 0 R\n/Widths [";
    // The advances Qt places glyphs by, so that rows end where they are
    // measured to end.
    for (int c = 32; c < 256; ++c) {
        appendPdfNumber(out, m_used[c] ? m_font.advance(uchar(c)) * toPdf : 0);
        out += (c % 16 == 15) ? '\n' : ' ';
    }
    out += "] >>";
    return out;
}

QByteArray PdfFont::descriptorDictionary(int programId) const
{
    const QRawFont &raw = m_design;
    QRectF box;
    for (int c = 0; c < 256; ++c) {
        if (m_used[c])
            box |= raw.pathForGlyph(m_font.glyph(uchar(c))).boundingRect();
    }
    const bool italic = raw.style() != QFont::StyleNormal;
    // Flags: non-symbolic (32), italic (64).
    QByteArray out = "<< /Type /FontDescriptor /FontName /" + subsetName() + " /Flags " +
        QByteArray::number(italic ? 96 : 32) + " /FontBBox [";
    for (const double edge : {box.left(), -box.bottom(), box.right(), -box.top()}) {
        appendPdfNumber(out, std::round(edge));
        out += ' ';
    }
    out += "] /ItalicAngle " + QByteArray(italic ? "-12" : "0") + " /Ascent ";
    appendPdfNumber(out, raw.ascent());
    out += " /Descent ";
    appendPdfNumber(out, -raw.descent());
    out += " /CapHeight ";
    appendPdfNumber(out, raw.capHeight());
    out += " /StemV 80 /FontFile3 " + QByteArray::number(programId) + " 0 R >>";
    return out;
}

QByteArray PdfFont::program() const
{
    const double toPdf = kUnitsPerEm / m_font.pointSize();
    QVector<CffGlyph> glyphs;
    for (int c = 0; c < 256; ++c) {
        if (!m_used[c] || !glyphName(c))
            continue;
        glyphs.append({glyphName(c), m_font.advance(uchar(c)) * toPdf,
                       m_design.pathForGlyph(m_font.glyph(uchar(c)))});
    }
    return buildCffFont(m_postScriptName, glyphs);
}

QByteArray PdfFont::toUnicodeMap()
{
    return "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
           "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
           "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
           "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n"
           "2 beginbfrange\n<20> <7E> <0020>\n<A0> <FF> <00A0>\nendbfrange\n"
           "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}
