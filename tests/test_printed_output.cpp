#include "printjob/PageLayout.h"
#include "printjob/PrintJob.h"
#include "support/FakeToolkit.h"
#include "support/Files.h"
#include "support/Listings.h"
#include "support/PdfText.h"
#include "support/RecordingPrinter.h"
#include "toolkit/FontCheck.h"
#include "toolkit/QtPrinting.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QtTest>

#include <unistd.h>

class PrintedOutputTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_dir.isValid(), "no temporary directory");
        QVERIFY2(pdfToolsPresent(), kPdfToolsNeeded);
    }

    void listingComesBackPageByPage_data()
    {
        QTest::addColumn<QString>("paper");
        QTest::newRow("A4") << QStringLiteral("A4");
        QTest::newRow("Letter") << QStringLiteral("Letter");
    }
    void listingComesBackPageByPage()
    {
        QFETCH(QString, paper);
        const QByteArray text = sampleListing(185);
        QVERIFY(!text.isEmpty());
        const QList<QByteArray> sent = text.split('\n');

        RecordingPrintService printer;
        printer.pdfPath = m_dir.filePath(paper + ".pdf");
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

    void longLinesWrapOnPaperWithoutLoss()
    {
        QByteArray line;
        for (int i = 0; i < 40; ++i)
            line += "W" + QByteArray::number(i) + "-";
        line += "END";
        RecordingPrintService printer;
        printer.pdfPath = m_dir.filePath(QStringLiteral("wrap.pdf"));
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
                               QString::fromUtf8("ÇΣ") + "LAST"));
    }

    void rowsStayWithinThePrintableArea()
    {
        const auto printer =
            pdfPrinter(m_dir.filePath(QStringLiteral("metrics.pdf")), QPageSize(QPageSize::A4));
        printer->setResolution(72);
        QtPrinterGraphics graphics(printer);
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
        metrics.advances = measureAdvances(graphics, metrics.charset);
        const PageLayout layout(metrics);
        const QByteArray wide(400, 'M');
        for (const Sheet &sheet : layout.layOutPage({QByteArrayView(wide)})) {
            for (const TextRow &row : sheet)
                QVERIFY(row.x + graphics.textWidth(row.text) <= printable.width());
        }
        QVERIFY(graphics.finish());
    }

    void firstBaselineIsFiftyPointsDown()
    {
        RecordingPrintService printer;
        printer.pdfPath = m_dir.filePath(QStringLiteral("baseline.pdf"));
        CountingYield yield;
        PrintReceivedText("HHH\r\nHHH\r\n", printer, yield);

        QList<QRectF> boxes;
        for (const PdfWord &word : pdfWords(printer.pdfPath))
            boxes << word.box;
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
        QTest::newRow("no folder") << QStringLiteral("/nonexistent-dir/out.pdf");
        // Opens fine, then every write fails.
        QTest::newRow("full disk") << QStringLiteral("/dev/full");
    }
    void unwritableOutputFails()
    {
        QFETCH(QString, path);
        RecordingPrintService printer;
        printer.pdfPath = path;
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText("A\n", printer, yield);
        QVERIFY(outcome.failed);
    }

    // The print dialog offers a page range; the pages outside it stay off
    // the paper, the ones inside come out whole.
    void pageRangeOfThePrintDialogIsHonoured()
    {
        const auto printer =
            pdfPrinter(m_dir.filePath(QStringLiteral("range.pdf")), QPageSize(QPageSize::A4));
        printer->setPrintRange(QPrinter::PageRange);
        printer->setFromTo(2, 3);
        DialoglessPrintService printing([&] { return printerGraphics(printer); });
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText(sampleListing(250), printing, yield);
        QVERIFY(!outcome.failed);
        QCOMPARE(outcome.sheets, 5);
        const QStringList pages = pdfPages(printer->outputFileName());
        QCOMPARE(pages.size(), 2);
        const QStringList second = nonEmptyLines(pages[0]);
        const QStringList third = nonEmptyLines(pages[1]);
        QCOMPARE(second.size(), 62);
        QVERIFY2(second.first().startsWith(QLatin1String("L63 ")), qPrintable(second.first()));
        QVERIFY2(third.last().startsWith(QLatin1String("L186 ")), qPrintable(third.last()));
    }

    // A range past the job's last sheet (the paper changed in the dialog)
    // prints nothing at all: no blank sheet, and the file already there
    // stays as it was.
    void rangeWithNoSheetOfTheJobPrintsNothing()
    {
        const QString path = m_dir.filePath(QStringLiteral("nothing.pdf"));
        QVERIFY(writeFile(path, "kept"));
        const auto printer = pdfPrinter(path, QPageSize(QPageSize::A4));
        printer->setPrintRange(QPrinter::PageRange);
        printer->setFromTo(5, 9);
        DialoglessPrintService printing([&] { return printerGraphics(printer); });
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText(sampleListing(70), printing, yield);
        QVERIFY(!outcome.failed && !outcome.cancelled);
        QCOMPARE(contentOf(path), QByteArray("kept"));
    }

    // The sheets the dialog offers are counted on the paper of the page
    // setup with the measures the printing uses: wrapped lines included,
    // the count is the number of sheets that come out.
    void offeredSheetsAreTheSheetsPrinted_data()
    {
        QTest::addColumn<QString>("paper");
        QTest::newRow("A4") << QStringLiteral("A4");
        QTest::newRow("Letter") << QStringLiteral("Letter");
    }
    void offeredSheetsAreTheSheetsPrinted()
    {
        QFETCH(QString, paper);
        // Lines of about 20 rows each: the count follows every width.
        QByteArray text;
        for (const QByteArray &line : sampleListing(30).split('\n'))
            text += line.trimmed().repeated(80) + "\r\n";
        RecordingPrintService printer;
        printer.pdfPath = m_dir.filePath(QStringLiteral("offered-%1.pdf").arg(paper));
        printer.pdfPaper = QPageSize(paper == "A4" ? QPageSize::A4 : QPageSize::Letter);
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText(text, printer, yield);
        QCOMPARE(outcome.pages, 1);
        QVERIFY2(outcome.sheets > 8, qPrintable(QString::number(outcome.sheets)));
        QCOMPARE(printer.offeredSheets, QList<int> {outcome.sheets});
        QCOMPARE(pdfPages(printer.pdfPath).size(), outcome.sheets);
    }

    // The system's print dialog: its page range runs from 1 to the count.
    void printDialogOffersOnlyTheJobsSheets()
    {
        QtPrintService service;
        const std::unique_ptr<PrinterSetup> setup = service.newPrinterSetup();
        int minPage = -1;
        int maxPage = -1;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
                poll.stop();
                minPage = dialog->minPage();
                maxPage = dialog->maxPage();
                dialog->reject();
            }
        });
        poll.start(10);
        QSizeF counted;
        const auto graphics = setup->openPrinterDialog([&](PrinterMetrics &metrics) {
            counted = metrics.printableSize();
            return 2;
        });
        QVERIFY(!graphics);
        QCOMPARE(minPage, 1);
        QCOMPARE(maxPage, 2);
        QVERIFY(counted.width() > 500 && counted.height() > 700);
    }

    // Lines wrap where they would on Helvetica only with a font of its
    // widths; anything else is printed all the same, with one warning a run.
    void helveticaSubstituteIsChecked_data()
    {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<QString>("resolved");
        QTest::addColumn<bool>("warns");
        QTest::newRow("Nimbus Sans") << "Helvetica"
                                     << "Nimbus Sans" << false;
        QTest::newRow("Nimbus Sans L") << "Helvetica"
                                       << "Nimbus Sans L" << false;
        QTest::newRow("Liberation Sans") << "Helvetica"
                                         << "Liberation Sans" << false;
        QTest::newRow("Arimo") << "Helvetica"
                               << "Arimo" << false;
        QTest::newRow("Helvetica itself") << "helvetica"
                                          << "Helvetica" << false;
        QTest::newRow("DejaVu Sans") << "Helvetica"
                                     << "DejaVu Sans" << true;
        QTest::newRow("a serif") << "Helvetica"
                                 << "C059" << true;
        QTest::newRow("nothing") << "Helvetica"
                                 << "" << true;
        QTest::newRow("another family asked") << "Courier"
                                              << "DejaVu Sans Mono" << false;
    }
    void helveticaSubstituteIsChecked()
    {
        QFETCH(QString, requested);
        QFETCH(QString, resolved);
        QFETCH(bool, warns);
        const std::optional<QString> warning = fontSubstituteWarning(requested, resolved);
        QCOMPARE(bool(warning), warns);
        if (warning) {
            QVERIFY(warning->contains(QLatin1String("fonts-urw-base35")));
            QVERIFY(warning->contains(resolved.isEmpty() ? QStringLiteral("no font")
                                                         : '"' + resolved + '"'));
        }
    }
    void substituteWarningComesOncePerRun()
    {
        int pipeEnds[2];
        QVERIFY(::pipe(pipeEnds) == 0);
        const int savedStderr = ::dup(STDERR_FILENO);
        ::dup2(pipeEnds[1], STDERR_FILENO);
        for (int i = 0; i < 3; ++i) {
            warnOnceAboutSubstitute(QStringLiteral("Helvetica"), QStringLiteral("Nimbus Sans"));
            warnOnceAboutSubstitute(QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans"));
        }
        ::dup2(savedStderr, STDERR_FILENO);
        ::close(savedStderr);
        ::close(pipeEnds[1]);
        QFile written;
        QVERIFY(written.open(pipeEnds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        const QString err = QString::fromUtf8(written.readAll());
        QCOMPARE(err.count(QLatin1String("warning:")), 1);
        QVERIFY(err.contains(QLatin1String("\"DejaVu Sans\"")));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(PrintedOutputTest)
#include "test_printed_output.moc"
