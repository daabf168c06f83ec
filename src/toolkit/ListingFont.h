#pragma once

#include "toolkit/Printing.h"

#include <QRawFont>

#include <array>
#include <utility>
#include <vector>

// Every character a listing can be drawn as, in any of its character sets,
// in one text style: a glyph and an advance in points for each, with no
// shaping and no kerning, so that the widths of a row add up exactly to
// where its glyphs are drawn.
class ListingFont {
public:
    ListingFont() = default;
    explicit ListingFont(const TextStyle &style);

    bool isValid() const { return m_raw.isValid(); }
    const QRawFont &rawFont() const { return m_raw; }
    // The family fontconfig chose for the style's family.
    const QString &family() const { return m_family; }
    double pointSize() const { return m_pointSize; }
    // 0 when the font has no glyph for the character, or no set draws it.
    quint32 glyph(QChar c) const { return find(c).glyph; }
    double advance(QChar c) const { return find(c).advance; }
    double textWidth(const QString &text) const;
    double ascent() const { return isValid() ? m_raw.ascent() : 0; }
    double descent() const { return isValid() ? m_raw.descent() : 0; }

private:
    struct Mark {
        quint32 glyph = 0;
        double advance = 0;
    };
    const Mark &find(QChar c) const;

    QRawFont m_raw;
    QString m_family;
    double m_pointSize = 0;
    std::array<Mark, 256> m_low {}; // the code points below 256
    std::vector<std::pair<char16_t, Mark>> m_high; // the others, in order
};
