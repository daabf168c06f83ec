#pragma once

#include "toolkit/Printing.h"

#include <QRawFont>

#include <array>

// The 256 Latin-1 characters of one text style: a glyph and an advance in
// points for each, with no shaping and no kerning, so that the widths of a
// row add up exactly to where its glyphs are drawn.
class Latin1Font {
public:
    Latin1Font() = default;
    explicit Latin1Font(const TextStyle &style);

    bool isValid() const { return m_raw.isValid(); }
    const QRawFont &rawFont() const { return m_raw; }
    // The family fontconfig chose for the style's family.
    const QString &family() const { return m_family; }
    double pointSize() const { return m_pointSize; }
    quint32 glyph(uchar c) const { return m_glyphs[c]; }
    double advance(uchar c) const { return m_advances[c]; }
    double textWidth(const QString &text) const;
    double ascent() const { return isValid() ? m_raw.ascent() : 0; }
    double descent() const { return isValid() ? m_raw.descent() : 0; }

private:
    QRawFont m_raw;
    QString m_family;
    double m_pointSize = 0;
    std::array<quint32, 256> m_glyphs {};
    std::array<double, 256> m_advances {};
};
