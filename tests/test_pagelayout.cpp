#include "printjob/PageLayout.h"

#include <QtTest>

namespace {
constexpr double kAdvance = 6;

LayoutMetrics metrics(QSizeF printable, double descent = 2.5)
{
    LayoutMetrics m;
    m.printable = printable;
    m.descent = descent;
    m.advances.fill(kAdvance);
    return m;
}

const QSizeF kA4(575, 822); // A4 less 10 pt margins
const QSizeF kLetter(592, 772); // Letter less 10 pt margins

PageLines viewsOf(const QList<QByteArray> &lines)
{
    PageLines views;
    for (const QByteArray &line : lines)
        views << QByteArrayView(line);
    return views;
}

QString joined(const QVector<Sheet> &sheets)
{
    QString text;
    for (const Sheet &sheet : sheets)
        for (const TextRow &row : sheet)
            text += row.text;
    return text;
}

void verifyOnPaper(const QVector<Sheet> &sheets, const LayoutMetrics &m)
{
    for (const Sheet &sheet : sheets) {
        for (const TextRow &row : sheet) {
            QCOMPARE(row.x, kTextLeft);
            QVERIFY2(row.x + row.text.size() * kAdvance <= m.printable.width() + 1e-9,
                     qPrintable(row.text));
            QVERIFY(row.y - m.descent >= 0);
            QVERIFY2(row.y + m.descent <= m.printable.height() + 1e-6,
                     qPrintable(QString::number(row.y)));
        }
    }
}
} // namespace

class PageLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void sixtyTwoLinesFitOneSheet_data()
    {
        QTest::addColumn<QSizeF>("printable");
        QTest::addColumn<double>("pitch");
        QTest::newRow("A4") << kA4 << 12.0;
        QTest::newRow("Letter") << kLetter << (772 - 50 - 2.5) / 61;
        QTest::newRow("A5") << QSizeF(400, 575) << (575 - 50 - 2.5) / 61;
    }
    void sixtyTwoLinesFitOneSheet()
    {
        QFETCH(QSizeF, printable);
        QFETCH(double, pitch);
        const LayoutMetrics m = metrics(printable);
        const PageLayout layout(m);
        QCOMPARE(layout.linePitch(), pitch);

        QList<QByteArray> lines;
        for (int i = 1; i <= 62; ++i)
            lines << "LINE " + QByteArray::number(i);
        const QVector<Sheet> sheets = layout.layOutPage(viewsOf(lines));
        QCOMPARE(sheets.size(), 1);
        QCOMPARE(sheets[0].size(), 62);
        QCOMPARE(sheets[0].first().y, kFirstBaseline);
        QCOMPARE(sheets[0].last().text, QStringLiteral("LINE 62"));
        QVERIFY(qAbs(sheets[0].last().y - (kFirstBaseline + 61 * pitch)) < 1e-9);
        verifyOnPaper(sheets, m);
    }

    void emptyLinesKeepTheirRow()
    {
        const PageLayout layout(metrics(kA4));
        const QList<QByteArray> lines {"A", "", "", "B"};
        const QVector<Sheet> sheets = layout.layOutPage(viewsOf(lines));
        QCOMPARE(sheets.size(), 1);
        QCOMPARE(sheets[0].size(), 2);
        QCOMPARE(sheets[0][1].text, QStringLiteral("B"));
        QCOMPARE(sheets[0][1].y, kFirstBaseline + 3 * 12);
    }

    void longLineWrapsByCharacter()
    {
        const LayoutMetrics m = metrics(kA4);
        const PageLayout layout(m);
        const int perRow = int((kA4.width() - kTextLeft) / kAdvance); // 90
        QByteArray line;
        for (int i = 0; i < 2 * perRow + 7; ++i)
            line += char('a' + i % 26);
        const QVector<Sheet> sheets = layout.layOutPage(viewsOf({line, "NEXT"}));
        QCOMPARE(sheets.size(), 1);
        const Sheet &rows = sheets[0];
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0].text.size(), perRow);
        QCOMPARE(rows[1].text.size(), perRow);
        QCOMPARE(rows[2].text.size(), 7);
        QCOMPARE(rows[3].text, QStringLiteral("NEXT"));
        QCOMPARE(rows[3].y, kFirstBaseline + 3 * 12);
        QCOMPARE(joined(sheets), QString::fromLatin1(line) + "NEXT");
        verifyOnPaper(sheets, m);
    }

    void rowsBeyondTheSheetGoOnANewSheet()
    {
        const LayoutMetrics m = metrics(kLetter);
        const PageLayout layout(m);
        QList<QByteArray> lines;
        for (int i = 1; i <= 62; ++i)
            lines << (i == 10 ? QByteArray(300, 'W') : "LINE " + QByteArray::number(i));
        const QVector<Sheet> sheets = layout.layOutPage(viewsOf(lines));
        // 300 chars take 4 rows of 90: three extra rows, which no longer fit.
        QCOMPARE(sheets.size(), 2);
        QCOMPARE(sheets[0].size(), 62);
        QCOMPARE(sheets[1].size(), 3);
        QCOMPARE(sheets[1].first().y, kFirstBaseline);
        QCOMPARE(sheets[1].last().text, QStringLiteral("LINE 62"));
        verifyOnPaper(sheets, m);
    }

    void paperTooSmallStillProgresses()
    {
        const LayoutMetrics m = metrics(QSizeF(200, 40));
        const PageLayout layout(m);
        const QVector<Sheet> sheets = layout.layOutPage(viewsOf({"A", "B", "C"}));
        QCOMPARE(sheets.size(), 3);
        QCOMPARE(joined(sheets), QStringLiteral("ABC"));
    }

    void tabsAdvanceToTheNextStop()
    {
        const PageLayout layout(metrics(kA4));
        const QVector<Sheet> sheets =
            layout.layOutPage(viewsOf({"10\tREM", "\tX", "ABCDEFGH\tY", "A\x01\tB"}));
        QCOMPARE(sheets.size(), 1);
        QCOMPARE(sheets[0][0].text, QStringLiteral("10      REM"));
        QCOMPARE(sheets[0][1].text, QStringLiteral("        X"));
        QCOMPARE(sheets[0][2].text, QStringLiteral("ABCDEFGH        Y"));
        // An undrawn control byte takes no column.
        QCOMPARE(sheets[0][3].text, QStringLiteral("A       B"));
    }

    // In Latin-1, 128 to 159 are control codes too.
    void controlBytesAreNotDrawnAndDoNotCut()
    {
        LayoutMetrics m = metrics(kA4);
        m.charset = CharacterSet::Latin1;
        const PageLayout layout(m);
        const QByteArray line("A\0B\x07"
                              "C\x1b"
                              "D\x7f"
                              "E\x80\x9f"
                              "F",
                              13);
        const QVector<Sheet> sheets = layout.layOutPage(viewsOf({line, QByteArray("\0", 1), "G"}));
        QCOMPARE(sheets.size(), 1);
        QCOMPARE(sheets[0].size(), 2);
        QCOMPARE(sheets[0][0].text, QStringLiteral("ABCDEF"));
        QCOMPARE(sheets[0][1].text, QStringLiteral("G"));
        QCOMPARE(sheets[0][1].y, kFirstBaseline + 2 * 12);
    }

    void latin1BytesBecomeTheirCharacters()
    {
        LayoutMetrics m = metrics(kA4);
        m.charset = CharacterSet::Latin1;
        const PageLayout layout(m);
        const QVector<Sheet> sheets = layout.layOutPage(viewsOf({"\xa0\xc4\xd6\xdc\xdf\xe9\xff"}));
        QCOMPARE(sheets[0][0].text, QString::fromUtf8("\u00a0ÄÖÜßéÿ"));
    }

    void widthsComeFromTheAdvanceTable()
    {
        LayoutMetrics m = metrics(QSizeF(30 + 100, 822));
        m.advances['i'] = 2;
        m.advances['W'] = 10;
        const PageLayout layout(m);
        const QVector<Sheet> sheets =
            layout.layOutPage(viewsOf({QByteArray(50, 'i') + QByteArray(10, 'W')}));
        QCOMPARE(sheets[0].size(), 2);
        QCOMPARE(sheets[0][0].text, QString(50, 'i'));
        QCOMPARE(sheets[0][1].text, QString(10, 'W'));
    }

    void callsBackOncePerLine()
    {
        const PageLayout layout(metrics(kA4));
        int calls = 0;
        layout.layOutPage(viewsOf({"A", QByteArray(500, 'x'), ""}), [&] { ++calls; });
        QCOMPARE(calls, 3);
    }
};

QTEST_GUILESS_MAIN(PageLayoutTest)
#include "test_pagelayout.moc"
