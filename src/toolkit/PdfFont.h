#pragma once

#include "toolkit/Latin1Font.h"

#include <QByteArray>

#include <array>

// One Latin-1 font as a PDF simple font: the font dictionary, its
// descriptor, and a font program holding only the characters drawn. The
// program is built from the outlines Qt draws with, whatever format the
// font file has; a font without outlines (a bitmap font) cannot be
// embedded this way.
class PdfFont {
public:
    explicit PdfFont(const Latin1Font &font);

    bool isEmbeddable() const { return m_embeddable; }
    const QByteArray &postScriptName() const { return m_postScriptName; }

    // Codes 32-126 and 160-255 are the characters of the same Latin-1
    // code; no other code is drawn.
    void markUsed(uchar c) { m_used[c] = true; }

    // The font's objects, given the numbers reserved for them.
    QByteArray fontDictionary(int descriptorId, int toUnicodeId) const;
    QByteArray descriptorDictionary(int programId) const;
    QByteArray program() const; // the CFF font program, for /FontFile3 /Type1C
    static QByteArray toUnicodeMap();

private:
    QByteArray subsetName() const;

    Latin1Font m_font;
    QRawFont m_design;
    QByteArray m_postScriptName;
    std::array<bool, 256> m_used {};
    bool m_embeddable = false;
};
