#include "doubles/FakeToolkit.h"
#include "doubles/RecordingPrinter.h"
#include "printjob/PageLayout.h"
#include "printjob/PrintJob.h"
#include "toolkit/QtPrinting.h"

#include <QtTest>

namespace {
// A listing of `count` lines built from the sample LLIST, each line led by
// its own number so the order can be checked on paper.
QByteArray sampleListing(int count)
{
    QFile sample(QStringLiteral(TESSARY_SAMPLES_DIR "/llist-sample.txt"));
    if (!sample.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> seed = sample.readAll().split('\n');
    QList<QByteArray> body;
    for (const QByteArray &line : seed) {
        if (!line.trimmed().isEmpty())
            body << line.trimmed();
    }
    QByteArray text;
    for (int i = 1; i <= count; ++i)
        text += "L" + QByteArray::number(i) + " " + body[(i - 1) % body.size()] + "\r\n";
    return text;
}

QStringList nonEmptyLines(const QString &page)
{
    QStringList lines;
    for (const QString &line : page.split(QChar('\n'))) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    return lines;
}

QString withoutSpaces(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    return text;
}
} // namespace

class PrintedOutputTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_dir.isValid(), "no temporary directory");
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
                 "pdftotext (poppler-utils) is needed to read the output back");
    }

    void listingComesBackPageByPage_data()
    {
        QTest::addColumn<QString>("paper");
        QTest::addColumn<bool>("direct");
        for (const bool direct : {false, true}) {
            const char *engine = direct ? "direct" : "qt";
            QTest::addRow("A4 %s", engine) << QStringLiteral("A4") << direct;
            QTest::addRow("Letter %s", engine) << QStringLiteral("Letter") << direct;
        }
    }
    void listingComesBackPageByPage()
    {
        QFETCH(QString, paper);
        QFETCH(bool, direct);
        const QByteArray text = sampleListing(185);
        QVERIFY(!text.isEmpty());
        const QList<QByteArray> sent = text.split('\n');

        RecordingPrintService printer;
        printer.pdfPath = m_dir.filePath(paper + (direct ? "-direct.pdf" : ".pdf"));
        printer.directPdf = direct;
        printer.pdfPaper = QPageSize(paper == "A4" ? QPageSize::A4 : QPageSize::Letter);
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText(text, printer, yield);
        QVERIFY(!outcome.failed);
        QCOMPARE(outcome.sheets, 3);

        const QStringList pages = pdfPages(printer.pdfPath);
        QCOMPARE(pages.size(), 3);
        int next = 0;
        for (int k = 0; k < 3; ++k) {
            const QStringList lines = nonEmptyLines(pages[k]);
            QCOMPARE(lines.size(), k < 2 ? 62 : 61);
            for (const QString &line : lines) {
                const QString expected = QString::fromLatin1(sent[next].trimmed());
                // pdftotext may widen gaps between words; every character
                // must be there, in order.
                QCOMPARE(withoutSpaces(line), withoutSpaces(expected));
                QVERIFY2(line.startsWith(QStringLiteral("L%1 ").arg(next + 1)), qPrintable(line));
                ++next;
            }
        }
        QCOMPARE(next, 185);
    }

    void longLinesWrapOnPaperWithoutLoss_data() { bothEngines(); }
    void longLinesWrapOnPaperWithoutLoss()
    {
        QFETCH(bool, direct);
        QByteArray line;
        for (int i = 0; i < 40; ++i)
            line += "W" + QByteArray::number(i) + "-";
        line += "END";
        RecordingPrintService printer;
        printer.pdfPath = m_dir.filePath(QStringLiteral("wrap.pdf"));
        printer.directPdf = direct;
        CountingYield yield;
        const PrintOutcome outcome =
            PrintReceivedText("FIRST\r\n" + line + "\tTAB\x01\x80\xe4\r\nLAST", printer, yield);
        QCOMPARE(outcome.sheets, 1);
        QVERIFY(printer.sheets[0].size() >= 4);

        const QStringList pages = pdfPages(printer.pdfPath);
        QCOMPARE(pages.size(), 1);
        const QString printed = withoutSpaces(pages[0]);
        QCOMPARE(printed,
                 withoutSpaces("FIRST" + QString::fromLatin1(line) + "TAB" +
                               QString::fromUtf8("ä") + "LAST"));
    }

    void rowsStayWithinThePrintableArea()
    {
        auto graphics = QtPrinterGraphics(
            pdfPrinter(m_dir.filePath(QStringLiteral("metrics.pdf")), QPageSize(QPageSize::A4)));
        QVERIFY(graphics.isPainting());
        graphics.setTextStyle({QStringLiteral("Helvetica"), 10, false, false});
        // 10 pt type: a real font at its size, not scaled by the resolution.
        QVERIFY(graphics.ascent() > 6 && graphics.ascent() <= 12);
        QVERIFY(graphics.descent() > 1 && graphics.descent() < 4);
        const double m = graphics.textWidth(QStringLiteral("M"));
        QVERIFY(m > 6 && m < 10);
        QCOMPARE(graphics.textWidth(QStringLiteral("MMi")),
                 2 * m + graphics.textWidth(QStringLiteral("i")));
        const QSizeF printable = graphics.printableSize();
        QVERIFY(printable.width() > 500 && printable.width() <= 595);
        QVERIFY(printable.height() > 760 && printable.height() <= 842);

        LayoutMetrics metrics;
        metrics.printable = printable;
        metrics.descent = graphics.descent();
        metrics.advances = measureAdvances(graphics);
        const PageLayout layout(metrics);
        const QByteArray wide(400, 'M');
        for (const Sheet &sheet : layout.layOutPage({QByteArrayView(wide)})) {
            for (const TextRow &row : sheet)
                QVERIFY(row.x + graphics.textWidth(row.text) <= printable.width());
        }
        QVERIFY(graphics.finish());
    }

    void firstBaselineIsFiftyPointsDown_data() { bothEngines(); }
    void firstBaselineIsFiftyPointsDown()
    {
        QFETCH(bool, direct);
        RecordingPrintService printer;
        printer.pdfPath = m_dir.filePath(QStringLiteral("baseline.pdf"));
        printer.directPdf = direct;
        CountingYield yield;
        PrintReceivedText("HHH\r\nHHH\r\n", printer, yield);

        QProcess bbox;
        bbox.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-bbox"), printer.pdfPath, QStringLiteral("-")});
        QVERIFY(bbox.waitForFinished(30000));
        const QString html = QString::fromUtf8(bbox.readAllStandardOutput());
        QRegularExpression word(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" "
                                               "xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">HHH"));
        auto matches = word.globalMatch(html);
        QList<QRectF> boxes;
        while (matches.hasNext()) {
            const auto m = matches.next();
            boxes << QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                            QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
        }
        QCOMPARE(boxes.size(), 2);
        // pdftotext's box spans the font's ascent and descent: its height
        // shows the font size, the step between the rows the pitch.
        QVERIFY2(boxes[0].height() > 10 && boxes[0].height() < 16,
                 qPrintable(QString::number(boxes[0].height())));
        QCOMPARE(boxes[1].top() - boxes[0].top(), 12.0);
        // Printable area starts 10 pt in; text at x 30, baseline at y 50.
        QVERIFY(qAbs(boxes[0].left() - 40) < 1);
        QVERIFY(boxes[0].top() < 60 && boxes[0].bottom() > 60);
    }

    void unwritableOutputFails_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("direct");
        QTest::newRow("no folder, qt") << QStringLiteral("/nonexistent-dir/out.pdf") << false;
        QTest::newRow("no folder, direct") << QStringLiteral("/nonexistent-dir/out.pdf") << true;
        // Opens fine, then every write fails.
        QTest::newRow("full disk, direct") << QStringLiteral("/dev/full") << true;
    }
    void unwritableOutputFails()
    {
        QFETCH(QString, path);
        QFETCH(bool, direct);
        RecordingPrintService printer;
        printer.pdfPath = path;
        printer.directPdf = direct;
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText("A\n", printer, yield);
        QVERIFY(outcome.failed);
    }

private:
    static void bothEngines()
    {
        QTest::addColumn<bool>("direct");
        QTest::newRow("qt") << false;
        QTest::newRow("direct") << true;
    }

    QTemporaryDir m_dir;
};

QTEST_MAIN(PrintedOutputTest)
#include "test_printed_output.moc"
