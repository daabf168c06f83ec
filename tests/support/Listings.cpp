#include "support/Listings.h"

#include "toolkit/CharacterSet.h"

#include <QFile>
#include <QRandomGenerator>

#include <iterator>

QByteArray numberedLines(int count, const char *lineEnd)
{
    QByteArray text;
    for (int i = 1; i <= count; ++i)
        text += "LINE " + QByteArray::number(i) + lineEnd;
    return text;
}

QStringList numberedLineTexts(int from, int to)
{
    QStringList lines;
    for (int i = from; i <= to; ++i)
        lines << QStringLiteral("LINE %1").arg(i);
    return lines;
}

QByteArray sampleFile()
{
    QFile sample(QStringLiteral(TESSARY_SAMPLES_DIR "/llist-sample.txt"));
    return sample.open(QIODevice::ReadOnly) ? sample.readAll() : QByteArray();
}

QByteArray pc1600SetFile()
{
    QFile sample(QStringLiteral(TESSARY_SAMPLES_DIR "/llist-pc1600-set.txt"));
    return sample.open(QIODevice::ReadOnly) ? sample.readAll() : QByteArray();
}

QByteArray inPc1600Set(const QString &text)
{
    QByteArray bytes;
    for (const char32_t c : text.toUcs4()) {
        const std::optional<unsigned char> byte =
            c < 128 ? std::optional<unsigned char>(c) : pc1600ByteOf(c);
        if (!byte)
            qFatal("U+%04X is not in the PC-1600's character set", unsigned(c));
        bytes += char(*byte);
    }
    return bytes;
}

QByteArray sampleListing(int count)
{
    QList<QByteArray> body;
    for (const QByteArray &line : sampleFile().split('\n')) {
        if (!line.trimmed().isEmpty())
            body << line.trimmed();
    }
    if (body.isEmpty())
        return {};
    QByteArray text;
    for (int i = 1; i <= count; ++i)
        text += "L" + QByteArray::number(i) + " " + body[(i - 1) % body.size()] + "\r\n";
    return text;
}

QByteArray basicListing(int lines)
{
    static const char *const statements[] = {
        "PRINT \"ERGEBNIS:\";",
        "FOR I=1 TO 100 STEP 2:",
        "IF A$=\"J\" THEN GOTO ",
        "LPRINT USING \"###.##\";",
        "DIM Z(6),W$(10):",
        "INPUT \"WERT \";X:",
        "GOSUB ",
        "NEXT I:",
        "REM  UNTERPROGRAMM ",
        "A=INT(RND(1)*49)+1:",
    };
    QRandomGenerator random(1600);
    QByteArray out;
    out.reserve(qsizetype(lines) * 56);
    for (int i = 1; i <= lines; ++i) {
        QByteArray line = QByteArray::number(i * 10) + ' ';
        const int target = 20 + int(random.bounded(61));
        while (line.size() < target)
            line += statements[random.bounded(int(std::size(statements)))];
        line.truncate(target);
        out += line + "\r\n";
    }
    return out;
}

QByteArray basicListingOfSize(qsizetype bytes)
{
    // The shortest line takes 22 bytes with its line end.
    return basicListing(int(bytes / 22) + 1).left(bytes);
}

QByteArray allByteValues()
{
    QByteArray bytes(256, Qt::Uninitialized);
    for (int value = 0; value < 256; ++value)
        bytes[value] = char(value);
    return bytes;
}
