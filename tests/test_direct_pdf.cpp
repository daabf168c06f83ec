#include "toolkit/PdfFileWriter.h"
#include "toolkit/PdfWriterGraphics.h"

#include <QtTest>

namespace {
struct Tool {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Tool run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    Tool tool;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return tool;
    tool.exitCode = process.exitCode();
    tool.out = process.readAllStandardOutput();
    tool.err = process.readAllStandardError();
    return tool;
}

// A listing of numbered lines from the sample LLIST.
QByteArray sampleListing(int count)
{
    QFile sample(QStringLiteral(TESSARY_SAMPLES_DIR "/llist-sample.txt"));
    if (!sample.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> body;
    for (const QByteArray &line : sample.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            body << line.trimmed();
    }
    QByteArray text;
    for (int i = 1; i <= count; ++i)
        text += QByteArray::number(i * 10) + " " + body[(i - 1) % body.size()] + "\r\n";
    return text;
}

// What pdftotext -layout reads; a message from pdftotext fails the check.
QByteArray layoutText(const QString &pdf)
{
    const Tool tool = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, "-"});
    if (tool.exitCode != 0 || !tool.err.isEmpty())
        return "pdftotext: " + tool.err;
    return tool.out;
}

struct Word {
    QString text;
    QRectF box;
};

// Every word pdftotext finds, with its box in points.
QList<Word> wordBoxes(const QString &pdf)
{
    const Tool tool = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, "-"});
    const QRegularExpression word(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" "
                                                 "xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)<"));
    QList<Word> words;
    auto matches = word.globalMatch(QString::fromUtf8(tool.out));
    while (matches.hasNext()) {
        const auto m = matches.next();
        words.append({m.captured(5),
                      QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                             QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return words;
}

constexpr double kRenderDpi = 100.37;

// Every page in grey.
QList<QImage> renderPages(const QString &pdf, const QString &prefix)
{
    const Tool tool = run(
        QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(kRenderDpi), QStringLiteral("-gray"), pdf, prefix});
    QList<QImage> pages;
    if (tool.exitCode != 0 || !tool.err.isEmpty())
        return pages;
    const QFileInfo info(prefix);
    QStringList files = info.dir().entryList({info.fileName() + "-*.pgm"}, QDir::Files);
    files.sort(); // pdftoppm pads page numbers to one width
    for (const QString &file : files)
        pages << QImage(info.dir().filePath(file)).convertToFormat(QImage::Format_Grayscale8);
    return pages;
}

// Ink of one band of pixel rows, and its moments.
struct Band {
    double inkA = 0;
    double inkB = 0;
    QPointF momentA;
    QPointF momentB;
};

// The bands of pixel rows between blank rows, in both pictures at once:
// one band per row of text when rows are set apart, one per page when they
// touch.
QVector<Band> bandsOf(const QImage &a, const QImage &b)
{
    QVector<Band> bands;
    bool inBand = false;
    for (int y = 0; y < a.height(); ++y) {
        const uchar *rowA = a.constScanLine(y);
        const uchar *rowB = b.constScanLine(y);
        Band row;
        for (int x = 0; x < a.width(); ++x) {
            row.inkA += 255 - rowA[x];
            row.inkB += 255 - rowB[x];
            row.momentA += QPointF(x, y) * (255 - rowA[x]);
            row.momentB += QPointF(x, y) * (255 - rowB[x]);
        }
        if (row.inkA + row.inkB == 0) {
            inBand = false;
            continue;
        }
        if (!inBand)
            bands.append(Band());
        inBand = true;
        Band &band = bands.last();
        band.inkA += row.inkA;
        band.inkB += row.inkB;
        band.momentA += row.momentA;
        band.momentB += row.momentB;
    }
    return bands;
}

struct Difference {
    double meanPerPixel = 255; // grey levels
    double worstInk = 1; // the largest difference of ink in a band, as a share
    // The largest vertical move of a band's centre of ink, in points.
    // Sideways the centre moves with the weight of the anti-aliased edges
    // over a long row; pdftotext checks the places across.
    double worstShift = 1e9;
};

Difference compareImages(const QImage &a, const QImage &b)
{
    Difference difference;
    if (a.size() != b.size() || a.isNull())
        return difference;
    qint64 total = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar *rowA = a.constScanLine(y);
        const uchar *rowB = b.constScanLine(y);
        for (int x = 0; x < a.width(); ++x)
            total += qAbs(rowA[x] - rowB[x]);
    }
    difference.meanPerPixel = double(total) / (a.width() * a.height());
    difference.worstInk = 0;
    difference.worstShift = 0;
    for (const Band &band : bandsOf(a, b)) {
        const double most = qMax(band.inkA, band.inkB);
        if (most < 255 * 4)
            continue; // a speck of anti-aliasing
        if (band.inkA == 0 || band.inkB == 0)
            return {};
        difference.worstInk = qMax(difference.worstInk, qAbs(band.inkA - band.inkB) / most);
        const double shift =
            (band.momentA.y() / band.inkA - band.momentB.y() / band.inkB) * 72 / kRenderDpi;
        difference.worstShift = qMax(difference.worstShift, qAbs(shift));
    }
    return difference;
}

// Each drawn character of Latin-1 on a row of its own, rows set apart.
QByteArray everyCharacter()
{
    QByteArray text;
    for (int c = 32; c < 256; ++c) {
        if (c < 127 || c >= 160)
            text += "10 " + QByteArray(4, char(c)) + "\r\n\r\n";
    }
    return text;
}

QByteArray mixedListing()
{
    QByteArray wide;
    for (int i = 0; i < 60; ++i)
        wide += "W" + QByteArray::number(i) + "-";
    return "10 PRINT \"(A)\";B\\C:REM \\\\ ((\r\n"
           "\tTAB\tX\x01\x02\x7f\x80\x9f END\r\n"
           "20 \xe4\xf6\xfc\xc4\xd6\xdc\xdf \xa0\xad\xa9\xb5\xbf\xff\xe9\r\n" +
        wide + "END\r\nLAST\rCR\n";
}
} // namespace

// The direct PDF engine against the Qt engine it replaces, through the
// command-line tool.
class DirectPdfTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char *tool : {"pdftotext", "pdftoppm", "pdffonts", "pdfinfo"})
            QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(), tool);
    }

    void readsAndLooksLikeTheQtEngine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("paper");
        QTest::addColumn<int>("sheets");
        QTest::newRow("listing A4") << sampleListing(185) << "A4" << 3;
        QTest::newRow("listing Letter") << sampleListing(185) << "Letter" << 3;
        QTest::newRow("mixed bytes") << mixedListing() << "A4" << 1;
        QTest::newRow("every character") << everyCharacter() << "A4" << 7;
    }
    void readsAndLooksLikeTheQtEngine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, paper);
        QFETCH(int, sheets);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        const QString input = m_dir.filePath(tag + ".txt");
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();

        QStringList pdfs;
        for (const QString &engine : {QStringLiteral("direct"), QStringLiteral("qt")}) {
            const QString pdf = m_dir.filePath(tag + "-" + engine + ".pdf");
            const Tool printed = run(QStringLiteral(TESSARY_PRINT_PATH),
                                     {input, pdf, "--paper", paper, "--engine", engine});
            QCOMPARE(printed.exitCode, 0);
            QCOMPARE(printed.out, QByteArray::number(sheets) + "\n");
            const Tool info = run(QStringLiteral("pdfinfo"), {pdf});
            QCOMPARE(info.exitCode, 0);
            QCOMPARE(info.err, QByteArray());
            QVERIFY(info.out.contains("Pages:           " + QByteArray::number(sheets) + "\n"));
            pdfs << pdf;
        }

        const QByteArray direct = layoutText(pdfs[0]);
        QCOMPARE(direct, layoutText(pdfs[1]));
        QVERIFY(direct.contains(text.startsWith("10 ") ? "10 " : "PRINT"));

        // Each word starts where it does in the Qt engine's file; where it
        // ends shows that the advances add up the same.
        const QList<Word> ourWords = wordBoxes(pdfs[0]);
        const QList<Word> theirWords = wordBoxes(pdfs[1]);
        QCOMPARE(ourWords.size(), theirWords.size());
        QVERIFY(!ourWords.isEmpty());
        for (int i = 0; i < ourWords.size(); ++i) {
            const QRectF a = ourWords[i].box;
            const QRectF b = theirWords[i].box;
            QCOMPARE(ourWords[i].text, theirWords[i].text);
            QVERIFY2(qAbs(a.left() - b.left()) < 0.05 && qAbs(a.right() - b.right()) < 0.05 &&
                         qAbs(a.top() - b.top()) < 0.05 && qAbs(a.bottom() - b.bottom()) < 0.05,
                     qPrintable(ourWords[i].text));
        }

        const QList<QImage> ours = renderPages(pdfs[0], m_dir.filePath(tag + "-direct"));
        const QList<QImage> theirs = renderPages(pdfs[1], m_dir.filePath(tag + "-qt"));
        QCOMPARE(ours.size(), sheets);
        QCOMPARE(theirs.size(), sheets);
        for (int page = 0; page < sheets; ++page) {
            // The same glyphs at the same places: only the edges of the
            // strokes come out a little differently anti-aliased. Seen:
            // under 0.21 grey levels, 2.8 % of a band's ink, 0.05 pt.
            const Difference difference = compareImages(ours[page], theirs[page]);
            const QString figures = QStringLiteral("page %1: %2 per pixel, ink %3, shift %4 pt")
                                        .arg(page + 1)
                                        .arg(difference.meanPerPixel)
                                        .arg(difference.worstInk)
                                        .arg(difference.worstShift);
            QVERIFY2(difference.meanPerPixel < 1, qPrintable(figures));
            QVERIFY2(difference.worstInk < 0.05, qPrintable(figures));
            QVERIFY2(difference.worstShift < 0.2, qPrintable(figures));
        }
    }

    void embedsOneFontPerStyle()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("styles.pdf"));
        {
            PdfWriterGraphics graphics(pdf, QPageSize(QPageSize::A4));
            graphics.setTextStyle({QStringLiteral("Helvetica"), 10, false, false});
            graphics.drawSheet({{30, 50, QStringLiteral("plain (one)")}});
            graphics.setTextStyle({QStringLiteral("Helvetica"), 14, true, false});
            graphics.drawSheet({{30, 80, QStringLiteral("bold \\two\\")}});
            graphics.nextPage();
            graphics.setTextStyle({QStringLiteral("Helvetica"), 10, false, false});
            graphics.drawSheet({{30, 50, QStringLiteral("plain again")}});
            QVERIFY(graphics.finish());
        }
        const Tool fonts = run(QStringLiteral("pdffonts"), {pdf});
        QCOMPARE(fonts.exitCode, 0);
        QCOMPARE(fonts.err, QByteArray());
        const QList<QByteArray> rows = fonts.out.trimmed().split('\n').mid(2);
        QCOMPARE(rows.size(), 2);
        for (const QByteArray &row : rows) {
            // Type 1C, embedded, a subset, with a Unicode map.
            QVERIFY2(row.contains("Type 1C") && row.contains(" yes yes yes "), row.constData());
        }
        QVERIFY(rows[1].contains("Bold"));

        const QByteArray text = layoutText(pdf);
        QVERIFY2(text.contains("plain (one)"), text.constData());
        QVERIFY2(text.contains("bold \\two\\"), text.constData());
        QVERIFY2(text.contains("\fplain again"), text.constData());
    }

    void everyPageIsKeptEvenWhenBlank()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("blank.pdf"));
        PdfWriterGraphics graphics(pdf, QPageSize(QPageSize::Letter));
        graphics.setTextStyle({QStringLiteral("Helvetica"), 10, false, false});
        graphics.nextPage();
        graphics.drawSheet({{30, 50, QStringLiteral("second")}});
        graphics.nextPage();
        QVERIFY(graphics.finish());
        const Tool info = run(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY(info.out.contains("Pages:           3\n"));
        QVERIFY(info.out.contains("612 x 792 pts"));
        QCOMPARE(layoutText(pdf).split('\f').value(1).trimmed(), QByteArray("second"));
    }

    void crossReferenceFindsEveryObject()
    {
        const QString path = m_dir.filePath(QStringLiteral("xref.pdf"));
        {
            PdfWriterGraphics graphics(path, QPageSize(QPageSize::A4));
            graphics.setTextStyle({QStringLiteral("Helvetica"), 10, false, false});
            graphics.drawSheet({{30, 50, QStringLiteral("\xe4 (one)")}, {30, 62, "two"}});
            graphics.nextPage();
            graphics.drawSheet({{30, 50, QStringLiteral("three")}});
            QVERIFY(graphics.finish());
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray pdf = file.readAll();
        QVERIFY(pdf.startsWith("%PDF-1.4\n"));
        QVERIFY(pdf.endsWith("%%EOF\n"));
        const qsizetype start = pdf.lastIndexOf("startxref\n");
        QVERIFY(start > 0);
        const qsizetype table = pdf.mid(start + 10).split('\n').value(0).toLongLong();
        QVERIFY(pdf.mid(table).startsWith("xref\n0 "));
        const QList<QByteArray> lines = pdf.mid(table).split('\n');
        const int count = lines[1].split(' ').value(1).toInt();
        QVERIFY(count > 8); // catalog, pages, resources, 2 pages, 2 contents, font
        QCOMPARE(lines[2], QByteArray("0000000000 65535 f\r"));
        for (int id = 1; id < count; ++id) {
            // Each entry is 20 bytes and gives where "id 0 obj" starts.
            const QByteArray entry = lines[2 + id];
            QCOMPARE(entry.size(), 19);
            QVERIFY(entry.endsWith(" 00000 n\r"));
            QVERIFY2(pdf.mid(entry.left(10).toLongLong())
                         .startsWith(QByteArray::number(id) + " 0 obj\n"),
                     entry.constData());
        }
        QVERIFY(lines[2 + count].startsWith("trailer"));
    }

    void numbersKeepThreeDecimals_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("whole") << 782.0 << QByteArray("782");
        QTest::newRow("negative whole") << -12.0 << QByteArray("-12");
        QTest::newRow("trailing zeros go") << 11.5 << QByteArray("11.5");
        QTest::newRow("leading zeros stay") << 0.057 << QByteArray("0.057");
        QTest::newRow("negative fraction") << -0.25 << QByteArray("-0.25");
        QTest::newRow("rounded") << 554.6875 << QByteArray("554.688");
        QTest::newRow("rounds to zero") << -0.0004 << QByteArray("0");
    }
    void numbersKeepThreeDecimals()
    {
        QFETCH(double, value);
        QFETCH(QByteArray, written);
        QByteArray out;
        appendPdfNumber(out, value);
        QCOMPARE(out, written);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(DirectPdfTest)
#include "test_direct_pdf.moc"
