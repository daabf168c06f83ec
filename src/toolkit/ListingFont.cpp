#include "toolkit/ListingFont.h"

#include "toolkit/CharacterSet.h"

#include <QFont>
#include <QFontInfo>

#include <algorithm>

ListingFont::ListingFont(const TextStyle &style) : m_pointSize(style.pointSize)
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
    for (const CharacterSetName &known : kCharacterSetNames) {
        for (const char16_t c : characterTable(known.set)) {
            if (c >= 256 && !all.contains(QChar(c)))
                all.append(QChar(c));
        }
    }
    const QList<quint32> glyphs = m_raw.glyphIndexesForString(all);
    const QList<QPointF> advances =
        m_raw.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
    for (qsizetype i = 0; i < all.size() && i < glyphs.size() && i < advances.size(); ++i) {
        const Mark mark {glyphs[i], advances[i].x()};
        if (i < 256)
            m_low[size_t(i)] = mark;
        else
            m_high.emplace_back(all[i].unicode(), mark);
    }
    std::sort(m_high.begin(), m_high.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
}

const ListingFont::Mark &ListingFont::find(QChar c) const
{
    static const Mark none;
    const char16_t code = c.unicode();
    if (code < 256)
        return m_low[code];
    const auto at =
        std::lower_bound(m_high.begin(), m_high.end(), code,
                         [](const auto &entry, char16_t key) { return entry.first < key; });
    return at != m_high.end() && at->first == code ? at->second : none;
}

double ListingFont::textWidth(const QString &text) const
{
    double width = 0;
    for (const QChar ch : text)
        width += advance(ch);
    return width;
}
