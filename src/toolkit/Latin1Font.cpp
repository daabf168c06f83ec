#include "toolkit/Latin1Font.h"

#include <QFont>
#include <QFontInfo>

Latin1Font::Latin1Font(const TextStyle &style) : m_pointSize(style.pointSize)
{
    QFont font(style.family);
    font.setPointSizeF(style.pointSize);
    font.setBold(style.bold);
    font.setItalic(style.italic);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    // With no font installed Qt still hands out one that draws nothing (and
    // breaks when asked its name): treat it as none.
    m_family = QFontInfo(font).family();
    if (m_family.isEmpty())
        return;
    m_raw = QRawFont::fromFont(font);
    // Sizes in points: one unit is one point on paper.
    m_raw.setPixelSize(style.pointSize);
    if (!m_raw.isValid())
        return;
    QString all;
    for (int c = 0; c < 256; ++c)
        all.append(QChar(c));
    const QList<quint32> glyphs = m_raw.glyphIndexesForString(all);
    const QList<QPointF> advances =
        m_raw.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
    for (int c = 0; c < 256 && c < glyphs.size() && c < advances.size(); ++c) {
        m_glyphs[c] = glyphs[c];
        m_advances[c] = advances[c].x();
    }
}

double Latin1Font::textWidth(const QString &text) const
{
    double width = 0;
    for (const QChar ch : text) {
        if (ch.unicode() < 256)
            width += m_advances[ch.unicode()];
    }
    return width;
}
