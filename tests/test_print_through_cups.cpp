#include "printjob/PrintJob.h"
#include "support/CupsServer.h"
#include "support/FakeToolkit.h"
#include "support/Listings.h"
#include "support/PdfText.h"
#include "support/RecordingPrinter.h"

#include <QPrinterInfo>
#include <QtTest>

namespace {
constexpr char kQueue[] = "tessary-test";
}

// The print job on a queue of a real (private) CUPS server, through Qt's
// native CUPS printing and Debian's filter chain, read back from the file
// the queue writes.
class PrintThroughCupsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Before Qt's print support first asks CUPS for its printers.
        m_cups.useInThisProcess();
        QVERIFY2(m_cups.start(), qPrintable(m_cups.error()));
        QVERIFY2(m_cups.addQueue(kQueue), qPrintable(m_cups.error()));
        QVERIFY2(pdfToolsPresent(), kPdfToolsNeeded);
    }

    void listingComesOutOfTheQueueSheetBySheet()
    {
        QVERIFY2(QPrinterInfo::availablePrinterNames().contains(kQueue),
                 qPrintable("Qt sees: " + QPrinterInfo::availablePrinterNames().join(", ")));
        // Each line ends in umlauts and a sharp s, in the PC-1600's set.
        // (Ghostscript's rewrite in the filter chain draws box graphics
        // right but keeps no text for them, so they are not read back here.)
        QByteArray text;
        QStringList expected;
        for (const QByteArray &line : sampleListing(150).split('\n')) {
            if (line.trimmed().isEmpty())
                continue;
            text += line.trimmed() + " \x84\x94\x81\x8e\x99\x9a\xe1\r\n";
            expected << QString::fromLatin1(line.trimmed()) + QString::fromUtf8(" äöüÄÖÜß");
        }
        QCOMPARE(expected.size(), 150);

        RecordingPrintService printing;
        printing.printerName = QLatin1String(kQueue);
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText(text, printing, yield);
        QVERIFY(!outcome.failed);
        QCOMPARE(outcome.sheets, 3);
        QVERIFY2(m_cups.waitForCompleted(kQueue, 1), qPrintable(m_cups.error()));
        QCOMPARE(m_cups.jobs(kQueue).size(), 1);

        const QStringList pages = pdfPages(m_cups.outputOf(kQueue));
        QCOMPARE(pages.size(), 3);
        const int linesPerSheet[] = {62, 62, 26};
        int next = 0;
        for (int k = 0; k < 3; ++k) {
            const QStringList lines = nonEmptyLines(pages[k]);
            QCOMPARE(lines.size(), linesPerSheet[k]);
            // pdftotext may widen the gaps between words.
            for (const QString &line : lines)
                QCOMPARE(withoutSpaces(line), withoutSpaces(expected[next++]));
        }
    }

    // A queue that refuses the job is a printer that failed: the window
    // then keeps the text for the next press of Print.
    void refusedJobIsAFailure()
    {
        const QString refusing = QStringLiteral("tessary-refusing");
        QVERIFY2(m_cups.addQueue(refusing) && m_cups.reject(refusing), qPrintable(m_cups.error()));
        RecordingPrintService printing;
        printing.printerName = refusing;
        CountingYield yield;
        const PrintOutcome outcome = PrintReceivedText(numberedLines(3), printing, yield);
        QVERIFY(outcome.failed);
        QCOMPARE(m_cups.jobs(refusing).size(), 0);
    }

private:
    CupsServer m_cups;
};

QTEST_MAIN(PrintThroughCupsTest)
#include "test_print_through_cups.moc"
