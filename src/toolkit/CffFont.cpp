#include "toolkit/CffFont.h"

#include <cmath>

namespace {
// Glyph names are all custom strings: their ids follow the 391 standard ones.
constexpr int kFirstCustomString = 391;

enum : uchar {
    kRLineTo = 5,
    kRRCurveTo = 8,
    kEndChar = 14,
    kRMoveTo = 21,
    kDictFontBBox = 5,
    kDictCharset = 15,
    kDictCharStrings = 17,
    kDictPrivate = 18,
    kDictDefaultWidthX = 20,
    kDictNominalWidthX = 21,
};

void appendCard16(QByteArray &out, int value)
{
    out += char((value >> 8) & 0xff);
    out += char(value & 0xff);
}

// An integer operand, the same in charstrings and dictionaries up to 16 bits.
void appendInteger(QByteArray &out, int value)
{
    if (value >= -107 && value <= 107) {
        out += char(value + 139);
    } else if (value >= 108 && value <= 1131) {
        value -= 108;
        out += char((value >> 8) + 247);
        out += char(value & 0xff);
    } else if (value >= -1131 && value <= -108) {
        value = -value - 108;
        out += char((value >> 8) + 251);
        out += char(value & 0xff);
    } else {
        out += char(28);
        appendCard16(out, qBound(-32768, value, 32767));
    }
}

// A dictionary operand of fixed length, for offsets not known yet.
void appendDictInt32(QByteArray &out, qint32 value)
{
    out += char(29);
    out += char((value >> 24) & 0xff);
    out += char((value >> 16) & 0xff);
    out += char((value >> 8) & 0xff);
    out += char(value & 0xff);
}

QByteArray index(const QVector<QByteArray> &items)
{
    QByteArray out;
    appendCard16(out, int(items.size()));
    if (items.isEmpty())
        return out;
    qint64 total = 1;
    for (const QByteArray &item : items)
        total += item.size();
    const int offSize = total < 0x100 ? 1 : total < 0x10000 ? 2 : total < 0x1000000 ? 3 : 4;
    out += char(offSize);
    qint64 offset = 1;
    auto appendOffset = [&](qint64 value) {
        for (int shift = 8 * (offSize - 1); shift >= 0; shift -= 8)
            out += char((value >> shift) & 0xff);
    };
    appendOffset(offset);
    for (const QByteArray &item : items) {
        offset += item.size();
        appendOffset(offset);
    }
    for (const QByteArray &item : items)
        out += item;
    return out;
}

class CharString {
public:
    explicit CharString(int width) { appendInteger(m_bytes, width); }

    void moveTo(const QPointF &p) { step(p, kRMoveTo); }
    void lineTo(const QPointF &p) { step(p, kRLineTo); }
    void curveTo(const QPointF &c1, const QPointF &c2, const QPointF &end)
    {
        delta(c1);
        delta(c2);
        delta(end);
        m_bytes += char(kRRCurveTo);
    }
    QByteArray finish()
    {
        m_bytes += char(kEndChar);
        return m_bytes;
    }

private:
    void step(const QPointF &p, uchar op)
    {
        delta(p);
        m_bytes += char(op);
    }
    // Rounds the point, not the step, so that no error adds up.
    void delta(const QPointF &p)
    {
        const int x = int(std::lround(p.x()));
        const int y = int(std::lround(-p.y()));
        appendInteger(m_bytes, x - m_x);
        appendInteger(m_bytes, y - m_y);
        m_x = x;
        m_y = y;
    }

    QByteArray m_bytes;
    int m_x = 0;
    int m_y = 0;
};

QByteArray charString(const CffGlyph &glyph)
{
    CharString out(int(std::lround(glyph.advance)));
    const QPainterPath &path = glyph.outline;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            out.moveTo(e);
        } else if (e.isLineTo()) {
            out.lineTo(e);
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            out.curveTo(e, path.elementAt(i + 1), path.elementAt(i + 2));
            i += 2;
        }
    }
    return out.finish();
}
} // namespace

QByteArray buildCffFont(const QByteArray &fontName, const QVector<CffGlyph> &glyphs)
{
    QVector<QByteArray> charStrings {QByteArray(1, char(kEndChar))}; // .notdef
    QVector<QByteArray> names;
    QByteArray charset(1, char(0)); // format 0: one id per glyph after .notdef
    QRectF box;
    for (int i = 0; i < glyphs.size(); ++i) {
        charStrings << charString(glyphs[i]);
        names << glyphs[i].name;
        appendCard16(charset, kFirstCustomString + i);
        box |= glyphs[i].outline.boundingRect();
    }

    QByteArray privateDict;
    appendInteger(privateDict, 0);
    privateDict += char(kDictDefaultWidthX);
    appendInteger(privateDict, 0);
    privateDict += char(kDictNominalWidthX);

    const QByteArray header("\x01\x00\x04\x04", 4);
    const QByteArray nameIndex = index({fontName});
    const QByteArray stringIndex = index(names);
    const QByteArray globalSubrs = index({});
    const QByteArray charStringIndex = index(charStrings);

    // The top dictionary's offsets have a fixed size, so its length is
    // known before they are.
    auto topDict = [&](qint32 charsetAt, qint32 charStringsAt, qint32 privateAt) {
        QByteArray dict;
        appendInteger(dict, int(std::floor(box.left())));
        appendInteger(dict, int(std::floor(-box.bottom())));
        appendInteger(dict, int(std::ceil(box.right())));
        appendInteger(dict, int(std::ceil(-box.top())));
        dict += char(kDictFontBBox);
        appendDictInt32(dict, charsetAt);
        dict += char(kDictCharset);
        appendDictInt32(dict, charStringsAt);
        dict += char(kDictCharStrings);
        appendDictInt32(dict, qint32(privateDict.size()));
        appendDictInt32(dict, privateAt);
        dict += char(kDictPrivate);
        return index({dict});
    };
    const qint32 charsetAt = qint32(header.size() + nameIndex.size() + topDict(0, 0, 0).size() +
                                    stringIndex.size() + globalSubrs.size());
    const qint32 charStringsAt = charsetAt + qint32(charset.size());
    const qint32 privateAt = charStringsAt + qint32(charStringIndex.size());

    return header + nameIndex + topDict(charsetAt, charStringsAt, privateAt) + stringIndex +
        globalSubrs + charset + charStringIndex + privateDict;
}
