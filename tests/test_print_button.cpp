#include "printjob/PrintButton.h"
#include "support/FakeToolkit.h"
#include "support/RecordingPrinter.h"
#include "support/ScriptedPort.h"

#include <QtTest>

class PrintButtonTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_msgBox = RecordingMsgBox();
        m_port = ScriptedPort();
        m_printing = std::make_unique<RecordingPrintService>();
        m_button = PrintButton();
    }

    void cancelledPrintDialogEndsTheJob_data()
    {
        QTest::addColumn<bool>("pageSetupConfirmed");
        QTest::newRow("page setup confirmed") << true;
        QTest::newRow("page setup cancelled too") << false;
    }
    void cancelledPrintDialogEndsTheJob()
    {
        QFETCH(bool, pageSetupConfirmed);
        receive("10 REM A\n");
        m_printing->confirmPageSetup = pageSetupConfirmed;
        m_printing->acceptPrintDialog = false;
        const PrintOutcome outcome = press();
        QVERIFY(outcome.cancelled);
        QVERIFY(!outcome.failed);
        // A cancelled page setup still goes on to the print dialog.
        QCOMPARE(m_printing->calls,
                 (QStringList {"newPrinterSetup", "pageSetupDialog", "openPrinterDialog"}));
        QVERIFY(m_msgBox.shown.isEmpty());
        QVERIFY(m_button.unprinted().isEmpty());

        // Nothing new: the next press shows no dialog at all.
        m_printing->confirmPageSetup = true;
        m_printing->acceptPrintDialog = true;
        QCOMPARE(press().pages, 0);
        QCOMPARE(m_printing->count("newPrinterSetup"), 1);

        // Something new: only that is printed.
        receive("20 REM B\n");
        QCOMPARE(press().pages, 1);
        QCOMPARE(m_printing->rowTexts(), QStringList {"20 REM B"});
        QVERIFY(m_msgBox.shown.isEmpty());
    }

    // The window has no choice of set: it draws what the PC-1600 shows.
    void drawsThePc1600sCharacters()
    {
        receive("10 REM Gr\x81\xe1"
                "e \xc9\xcd\xbb \xe0\xe3\n");
        QCOMPARE(press().pages, 1);
        QCOMPARE(m_printing->rowTexts(), QStringList {QString::fromUtf8("10 REM Grüße ╔═╗ απ")});
    }

    void textKeptFromAFailureComesBeforeWhatArrivedSince()
    {
        receive("10 REM A\n");
        m_printing->failOnFinish = true;
        QVERIFY(press().failed);
        m_printing->failOnFinish = false;
        m_printing->sheets.clear();
        receive("20 REM B\n");
        QVERIFY(!press().failed);
        QCOMPARE(m_printing->rowTexts(), (QStringList {"10 REM A", "20 REM B"}));
        QVERIFY(m_button.unprinted().isEmpty());
    }

    void failedPrinterSaysSoAndKeepsTheText()
    {
        receive("10 REM A\n");
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
        receive("garbage at the wrong baud rate");
        m_printing->failOnFinish = true;
        press();
        QVERIFY(!m_button.unprinted().isEmpty());
        m_button.forgetUnprinted();
        m_printing->failOnFinish = false;
        press();
        QCOMPARE(m_printing->count("newPrinterSetup"), 1);
    }

    void noPortChosenStillOnlySaysSo()
    {
        receive("10 REM A\n");
        const PrintOutcome outcome = m_button.press(0, m_port, m_capture, *m_printing, "ger");
        QCOMPARE(outcome.pages, 0);
        QCOMPARE(m_msgBox.shown, QStringList {QStringLiteral("Serieller Port nicht vorhanden !")});
        QCOMPARE(m_printing->count("newPrinterSetup"), 0);
    }

private:
    // Something received between presses, on a line quiet since.
    void receive(const QByteArray &bytes)
    {
        m_port.nowMs += 10000;
        m_port.arrive(m_port.nowMs - 5000, bytes);
    }
    PrintOutcome press() { return m_button.press(1, m_port, m_capture, *m_printing, "ger"); }

    RecordingMsgBox m_msgBox;
    RecordingBusy m_busy;
    CountingPause m_pause;
    CountingYield m_yield;
    CaptureServices m_capture {m_msgBox, m_busy, m_pause, m_yield};
    ScriptedPort m_port;
    std::unique_ptr<RecordingPrintService> m_printing;
    PrintButton m_button;
};

QTEST_MAIN(PrintButtonTest)
#include "test_print_button.moc"
