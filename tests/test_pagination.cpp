#include "printjob/Pagination.h"
#include "support/Listings.h"

#include <QtTest>

namespace {
QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines;
    LineReader reader(text);
    while (!reader.atEnd())
        lines << reader.nextLine().toByteArray();
    return lines;
}
} // namespace

class PaginationTest : public QObject {
    Q_OBJECT
private slots:
    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("lines");
        using L = QList<QByteArray>;
        QTest::newRow("empty") << QByteArray() << L {};
        QTest::newRow("one char") << QByteArray("A") << L {"A"};
        QTest::newRow("LF") << QByteArray("A\nB\n") << L {"A", "B"};
        QTest::newRow("CR LF") << QByteArray("A\r\nB\r\n") << L {"A", "B"};
        QTest::newRow("lone CR") << QByteArray("A\rB\r") << L {"A", "B"};
        QTest::newRow("no final end") << QByteArray("A\r\nBC") << L {"A", "BC"};
        QTest::newRow("empty lines") << QByteArray("\n\r\n\r") << L {"", "", ""};
        QTest::newRow("CR CR LF") << QByteArray("A\r\r\nB") << L {"A", "", "B"};
        QTest::newRow("LF CR") << QByteArray("A\n\rB") << L {"A", "", "B"};
        QTest::newRow("NUL kept") << QByteArray("A\0B\n", 4) << L {QByteArray("A\0B", 3)};
    }
    void lineEnds()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, lines);
        QCOMPARE(linesOf(text), lines);
        QCOMPARE(countLines(text), lines.size());
        // Counted as it arrives in two pieces, wherever it is cut.
        for (qsizetype cut = 0; cut <= text.size(); ++cut) {
            LineCounter counter;
            counter.add(QByteArrayView(text).first(cut));
            counter.add(QByteArrayView(text).sliced(cut));
            QCOMPARE(counter.lines(), qint64(lines.size()));
        }
    }

    void pagesHoldSixtyTwoLines_data()
    {
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<bool>("finalEnd");
        QTest::addColumn<int>("pages");
        for (const char *end : {"\n", "\r\n", "\r"}) {
            const QByteArray e(end);
            const QByteArray tag = e.toPercentEncoding();
            QTest::addRow("1 %s", tag.constData()) << 1 << e << true << 1;
            QTest::addRow("61 %s", tag.constData()) << 61 << e << true << 1;
            QTest::addRow("62 %s", tag.constData()) << 62 << e << true << 1;
            QTest::addRow("62 open %s", tag.constData()) << 62 << e << false << 1;
            QTest::addRow("63 %s", tag.constData()) << 63 << e << true << 2;
            QTest::addRow("124 %s", tag.constData()) << 124 << e << true << 2;
            QTest::addRow("185 %s", tag.constData()) << 185 << e << true << 3;
            QTest::addRow("187 open %s", tag.constData()) << 187 << e << false << 4;
        }
    }
    void pagesHoldSixtyTwoLines()
    {
        QFETCH(int, lineCount);
        QFETCH(QByteArray, lineEnd);
        QFETCH(bool, finalEnd);
        QFETCH(int, pages);

        QByteArray text = numberedLines(lineCount, lineEnd.constData());
        if (!finalEnd)
            text.chop(lineEnd.size());

        QCOMPARE(countPages(text), pages);
        PageCutter cutter(text);
        int next = 1;
        for (int page = 1; page <= pages; ++page) {
            QVERIFY(!cutter.atEnd());
            const PageLines lines = cutter.nextPage();
            QCOMPARE(lines.size(), page < pages ? 62 : lineCount - 62 * (pages - 1));
            for (const QByteArrayView line : lines)
                QCOMPARE(line.toByteArray(), "LINE " + QByteArray::number(next++));
        }
        QVERIFY(cutter.atEnd());
        QCOMPARE(next, lineCount + 1);
    }

    void linesPointIntoTheText()
    {
        const QByteArray text = numberedLines(200, "\r\n");
        PageCutter cutter(text);
        const PageLines first = cutter.nextPage();
        QCOMPARE(first.first().data(), text.constData());
        const PageLines second = cutter.nextPage();
        QCOMPARE(second.first().data(), text.constData() + text.indexOf("LINE 63\r"));
    }
};

QTEST_GUILESS_MAIN(PaginationTest)
#include "test_pagination.moc"
