#pragma once

#include <QByteArray>
#include <QPainterPath>
#include <QVector>

// One glyph of a font program: its name, advance and outline, in units of
// 1/1000 of the font size with y growing downwards (as QRawFont gives them).
struct CffGlyph {
    QByteArray name;
    double advance = 0;
    QPainterPath outline;
};

// Builds a bare CFF font program (as PDF embeds with /FontFile3 /Type1C) of
// the given glyphs, after a .notdef of its own. Outlines become cubic Type 2
// charstrings rounded to whole units; no hints.
QByteArray buildCffFont(const QByteArray &fontName, const QVector<CffGlyph> &glyphs);
