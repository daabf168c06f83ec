#include "printjob/PrintJob.h"
#include "support/FakeToolkit.h"
#include "support/Listings.h"
#include "support/RecordingPrinter.h"

#include <QtTest>

namespace {
QStringList textsOf(const Sheet &sheet)
{
    QStringList texts;
    for (const TextRow &row : sheet)
        texts << row.text;
    return texts;
}
} // namespace

class PrintJobTest : public QObject {
    Q_OBJECT
private slots:
    void emptyTextShowsNoDialog()
    {
        RecordingPrintService printer;
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText({}, printer, yield);
        QVERIFY(printer.calls.isEmpty());
        QCOMPARE(outcome.pages, 0);
        QCOMPARE(outcome.sheets, 0);
        QVERIFY(!outcome.cancelled);
    }

    void dialogsComeFirstThenStyleThenPages()
    {
        RecordingPrintService printer;
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText(numberedLines(100), printer, yield);
        const QStringList expected {"newPrinterSetup", "pageSetupDialog", "openPrinterDialog",
                                    "setTextStyle",    "drawSheet",       "nextPage",
                                    "drawSheet",       "finish",          "release"};
        QCOMPARE(printer.calls, expected);
        QCOMPARE(printer.styles.size(), 1);
        QCOMPARE(printer.styles[0].family, QStringLiteral("Helvetica"));
        QCOMPARE(printer.styles[0].pointSize, 10.0);
        QVERIFY(!printer.styles[0].bold);
        QVERIFY(!printer.styles[0].italic);
        QCOMPARE(outcome.pages, 2);
        QCOMPARE(outcome.sheets, 2);
        QVERIFY(!outcome.cancelled);
        QVERIFY(!outcome.failed);
    }

    void pagesOfSixtyTwoLines_data()
    {
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<int>("pages");
        QTest::newRow("1") << 1 << QByteArray("\n") << 1;
        QTest::newRow("61") << 61 << QByteArray("\n") << 1;
        QTest::newRow("62 LF") << 62 << QByteArray("\n") << 1;
        QTest::newRow("124 LF") << 124 << QByteArray("\n") << 2;
        QTest::newRow("63 LF") << 63 << QByteArray("\n") << 2;
        QTest::newRow("185 LF") << 185 << QByteArray("\n") << 3;
        QTest::newRow("185 CR LF") << 185 << QByteArray("\r\n") << 3;
        QTest::newRow("185 CR") << 185 << QByteArray("\r") << 3;
        QTest::newRow("186 CR") << 186 << QByteArray("\r") << 3;
        QTest::newRow("187 CR LF") << 187 << QByteArray("\r\n") << 4;
    }
    void pagesOfSixtyTwoLines()
    {
        QFETCH(int, lineCount);
        QFETCH(QByteArray, lineEnd);
        QFETCH(int, pages);
        RecordingPrintService printer;
        CountingYield yield;
        const PrintOutcome outcome =
            PrintReceivedText(numberedLines(lineCount, lineEnd.constData()), printer, yield);

        QCOMPARE(outcome.pages, pages);
        QCOMPARE(outcome.sheets, pages);
        QCOMPARE(printer.offeredSheets, QList<int> {pages});
        QCOMPARE(printer.sheets.size(), pages);
        QCOMPARE(printer.count("nextPage"), pages - 1);
        for (int k = 0; k < pages; ++k) {
            const int first = 62 * k + 1;
            const int last = qMin(62 * (k + 1), lineCount);
            QCOMPARE(textsOf(printer.sheets[k]), numberedLineTexts(first, last));
            QCOMPARE(printer.sheets[k].first().y, 50.0);
            QCOMPARE(printer.sheets[k].first().x, 30.0);
        }
        // The window gets a turn about once per line, not once per byte:
        // counting the sheets for the print dialog, then printing them.
        QCOMPARE(yield.count, 2 * lineCount);
    }

    void everyCharacterIsPrinted_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("one char") << QByteArray("A") << QStringList {"A"};
        QTest::newRow("no final end")
            << QByteArray("10 END\r\n20 STOP") << QStringList {"10 END", "20 STOP"};
        QTest::newRow("CR LF") << QByteArray("10 A\r\n20 B\r\n") << QStringList {"10 A", "20 B"};
        QTest::newRow("lone CR") << QByteArray("10 A\r20 B\r") << QStringList {"10 A", "20 B"};
        QTest::newRow("line end only") << QByteArray("\n") << QStringList {};
        QTest::newRow("the PC-1600's set") << QByteArray("GR\x9a\xe1 \xe3\xc9\xcd\n")
                                           << QStringList {QString::fromUtf8("GRÜß π╔═")};
    }
    void everyCharacterIsPrinted()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, rows);
        RecordingPrintService printer;
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText(text, printer, yield);
        QCOMPARE(outcome.sheets, 1);
        QCOMPARE(printer.rowTexts(), rows);
    }

    void cancelledPageSetupStillPrints()
    {
        RecordingPrintService printer;
        printer.confirmPageSetup = false;
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText(numberedLines(70), printer, yield);
        QCOMPARE(printer.count("openPrinterDialog"), 1);
        QCOMPARE(outcome.sheets, 2);
        QCOMPARE(printer.rowTexts(), numberedLineTexts(1, 70));
        QVERIFY(!outcome.cancelled);
    }

    void cancelledPrintDialogDrawsNothing()
    {
        RecordingPrintService printer;
        printer.acceptPrintDialog = false;
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText(numberedLines(300), printer, yield);
        const QStringList expected {"newPrinterSetup", "pageSetupDialog", "openPrinterDialog"};
        QCOMPARE(printer.calls, expected);
        QVERIFY(outcome.cancelled);
        QVERIFY(!outcome.failed);
        QCOMPARE(outcome.sheets, 0);
    }

    void printerFailureIsReported()
    {
        RecordingPrintService printer;
        printer.failOnFinish = true;
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText("A\n", printer, yield);
        QVERIFY(outcome.failed);
        QCOMPARE(outcome.sheets, 1);
    }

    void wrappedRowsSpillOntoAnotherSheet()
    {
        // 62 lines, one of them five rows long on narrow paper: page 1 takes
        // two sheets, page 2 starts on a third sheet with line 63.
        RecordingPrintService printer;
        printer.printable = QSizeF(30 + 60, 772); // 10 characters per row
        CountingYield yield;
        QByteArray text = numberedLines(70, "\n");
        text.replace("LINE 5\n", QByteArray(50, 'x') + '\n');
        const PrintOutcome outcome = PrintReceivedText(text, printer, yield);
        QCOMPARE(outcome.pages, 2);
        QCOMPARE(outcome.sheets, 3);
        // The print dialog offered those three sheets.
        QCOMPARE(printer.offeredSheets, QList<int> {3});
        QCOMPARE(printer.sheets[1].size(), 4);
        QCOMPARE(printer.sheets[1].last().text, QStringLiteral("LINE 62"));
        QCOMPARE(printer.sheets[2].first().text, QStringLiteral("LINE 63"));
        QCOMPARE(printer.sheets[2].first().y, 50.0);
        QCOMPARE(printer.count("nextPage"), 2);
    }

    void printsEachJobAfresh()
    {
        RecordingPrintService printer;
        CountingYield yield;
        PrintReceivedText("A\n", printer, yield);
        PrintReceivedText("B\n", printer, yield);
        QCOMPARE(printer.count("newPrinterSetup"), 2);
        QCOMPARE(printer.count("pageSetupDialog"), 2);
        QCOMPARE(printer.count("openPrinterDialog"), 2);
        QCOMPARE(printer.count("release"), 2);
    }
};

QTEST_GUILESS_MAIN(PrintJobTest)
#include "test_printjob.moc"
