#include "printjob/PrintButton.h"
#include "serial/ReceiveBuffer.h"
#include "support/FakeToolkit.h"
#include "support/RecordingPrinter.h"

#include <QtTest>

namespace {

// A port that hands out queued chunks, one per read.
class QueuedPort : public ReceiveBuffer {
public:
    qint64 bytesAvailable() override { return chunks.isEmpty() ? 0 : chunks.first().size(); }
    QByteArray readAll() override { return chunks.isEmpty() ? QByteArray() : chunks.takeFirst(); }
    qint64 msSinceLastArrival() override { return -1; }
    QList<QByteArray> chunks;
};

} // namespace

class PrintButtonTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_msgBox = RecordingMsgBox();
        m_port.chunks.clear();
        m_printing = std::make_unique<RecordingPrintService>();
        m_button = PrintButton();
    }

    void cancelledPrintDialogKeepsTheTextForTheNextPress()
    {
        m_port.chunks = {"10 REM A\n"};
        m_printing->acceptPrintDialog = false;
        QVERIFY(press().cancelled);
        QCOMPARE(m_printing->count("drawSheet"), 0);
        QVERIFY(m_msgBox.shown.isEmpty());

        // Nothing new waiting: the kept text alone is printed.
        m_printing->acceptPrintDialog = true;
        QCOMPARE(press().pages, 1);
        QCOMPARE(m_printing->rowTexts(), QStringList {"10 REM A"});

        // Printed once, then gone.
        press();
        QCOMPARE(m_printing->count("newPrinterSetup"), 2);
    }

    void keptTextComesBeforeWhatArrivedSince()
    {
        m_port.chunks = {"10 REM A\n"};
        m_printing->acceptPrintDialog = false;
        press();
        m_printing->acceptPrintDialog = true;
        m_port.chunks = {"20 REM B\n"};
        press();
        QCOMPARE(m_printing->rowTexts(), (QStringList {"10 REM A", "20 REM B"}));
    }

    void failedPrinterSaysSoAndKeepsTheText()
    {
        m_port.chunks = {"10 REM A\n"};
        m_printing->failOnFinish = true;
        QVERIFY(press().failed);
        QCOMPARE(m_msgBox.shown,
                 QStringList {
                     QStringLiteral("Drucken fehlgeschlagen. Print druckt den Text noch einmal.")});
        QCOMPARE(m_button.unprinted(), QByteArray("10 REM A\n"));

        m_printing->failOnFinish = false;
        m_printing->sheets.clear();
        QVERIFY(!press().failed);
        QCOMPARE(m_printing->rowTexts(), QStringList {"10 REM A"});
        QVERIFY(m_button.unprinted().isEmpty());
    }

    void forgottenTextIsNotPrinted()
    {
        m_port.chunks = {"garbage at the wrong baud rate"};
        m_printing->acceptPrintDialog = false;
        press();
        m_button.forgetUnprinted();
        m_printing->acceptPrintDialog = true;
        press();
        QCOMPARE(m_printing->count("newPrinterSetup"), 1);
    }

    void noPortChosenStillOnlySaysSo()
    {
        m_port.chunks = {"10 REM A\n"};
        const PrintOutcome outcome = m_button.press(0, m_port, m_capture, *m_printing, "ger");
        QCOMPARE(outcome.pages, 0);
        QCOMPARE(m_msgBox.shown, QStringList {QStringLiteral("Serieller Port nicht vorhanden !")});
        QCOMPARE(m_printing->count("newPrinterSetup"), 0);
    }

private:
    PrintOutcome press() { return m_button.press(1, m_port, m_capture, *m_printing, "ger"); }

    RecordingMsgBox m_msgBox;
    RecordingBusy m_busy;
    CountingPause m_pause;
    CountingYield m_yield;
    CaptureServices m_capture {m_msgBox, m_busy, m_pause, m_yield};
    QueuedPort m_port;
    std::unique_ptr<RecordingPrintService> m_printing;
    PrintButton m_button;
};

QTEST_MAIN(PrintButtonTest)
#include "test_print_button.moc"
