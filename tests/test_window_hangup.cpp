#include "support/CpuTime.h"
#include "support/Files.h"
#include "support/SerialOnPty.h"
#include "support/WindowRig.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kOpened = QString::fromUtf8("Serial Port geöffnet.");

} // namespace

// The port's device vanishes while the window holds it open, as when a USB
// adapter is pulled out.
class WindowHangupTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_vanishing = std::make_unique<Pty>();
        m_other = std::make_unique<Pty>();
        m_rig = std::make_unique<WindowRig>();
        QVERIFY(m_rig->ports.listPtys({m_vanishing.get(), m_other.get()}));
        m_window = m_rig->openWindow();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        ports()->setCurrentIndex(0);
        QVERIFY(m_window->TestSerial1.isOpen());
        m_rig->msgBox.shown.clear();
    }
    void cleanup()
    {
        m_window.reset();
        m_rig.reset();
        m_vanishing.reset();
        m_other.reset();
    }

    void printsWhatArrivedThenReportsTheGonePortAtTheNextChoice()
    {
        const QByteArray sent = "10 REM BEFORE\r\n20 REM UNPLUGGED\r\n";
        QVERIFY(deliver(*m_vanishing, m_window->TestSerial1, sent));
        m_vanishing->closeMaster();
        QTRY_VERIFY(m_window->TestSerial1.isLost());

        // Idling after the hang-up: no spinning, not one box.
        const double cpuBefore = processCpuSeconds();
        runEventLoop(1000);
        const double cpuUsed = processCpuSeconds() - cpuBefore;
        qInfo("CPU time in 1 s of idling after the hang-up: %.3f s", cpuUsed);
        QVERIFY2(cpuUsed < 0.3, "the window spins on the vanished port");
        QVERIFY(m_rig->msgBox.shown.isEmpty());
        QCOMPARE(ports()->currentIndex(), 0);

        printButton()->click();
        QCOMPARE(m_rig->printing.rowTexts(), (QStringList {"10 REM BEFORE", "20 REM UNPLUGGED"}));
        QVERIFY(m_rig->msgBox.shown.isEmpty());

        // Nothing is left: the next press ends silently.
        const int callsBefore = int(m_rig->printing.calls.size());
        printButton()->click();
        QCOMPARE(m_rig->printing.calls.size(), callsBefore);
        QVERIFY(m_rig->msgBox.shown.isEmpty());

        // The user picks the other port and then the gone one again.
        ports()->setCurrentIndex(1);
        QCOMPARE(m_rig->msgBox.shown, QStringList {kOpened});
        ports()->setCurrentIndex(0);
        const int code = m_window->TestSerial1.lastErrorCode();
        QVERIFY(code != 0);
        QCOMPARE(m_rig->msgBox.shown, (QStringList {kOpened, *portOpenFailedText(kGerman, code)}));
        QCOMPARE(ports()->currentIndex(), 0);
        QCOMPARE(m_window->Anzahl, 1);
        QVERIFY(!m_window->TestSerial1.isOpen());

        // Port B was let go before the failed open: anyone may open it now.
        Serial stranger;
        stranger.setSerialPort({"B", m_other->slavePath()});
        QVERIFY(stranger.open());
    }

    // Unplugged before Print was pressed, plugged back in, chosen again: the
    // listing received before the unplug still prints.
    void replugAndRechooseKeepsWhatArrivedBefore()
    {
        QTemporaryDir dir;
        const QString adapter = dir.filePath("ttyUSB0");
        QVERIFY(QFile::link(m_other->slavePath(), adapter));
        m_rig->ports.list = {{"ttyUSB0", adapter}};
        m_window = m_rig->openWindow();
        ports()->setCurrentIndex(0); // the user's pick: the index changes,
        emit ports()->activated(0); // then the pick is announced
        QVERIFY(m_window->TestSerial1.isOpen());

        QVERIFY(deliver(*m_other, m_window->TestSerial1, "10 REM BEFORE\r\n"));
        m_other->closeMaster();
        QTRY_VERIFY(m_window->TestSerial1.isLost());
        QVERIFY(!m_window->TestSerial1.isOpen());

        Pty replugged;
        QVERIFY(QFile::remove(adapter));
        QVERIFY(QFile::link(replugged.slavePath(), adapter));
        m_rig->msgBox.shown.clear();
        emit ports()->activated(0); // the user picks the selected row again
        QCOMPARE(m_rig->msgBox.shown, QStringList {kOpened});

        QVERIFY(deliver(replugged, m_window->TestSerial1, "20 REM AFTER\r\n"));
        printButton()->click();
        QCOMPARE(m_rig->printing.rowTexts(), (QStringList {"10 REM BEFORE", "20 REM AFTER"}));
        m_window.reset();
    }

    void nothingReceivedBeforeTheHangupPrintsNothing()
    {
        m_vanishing->closeMaster();
        QTRY_VERIFY(m_window->TestSerial1.isLost());
        printButton()->click();

        QVERIFY(m_rig->msgBox.shown.isEmpty());
        QVERIFY(m_rig->printing.calls.isEmpty());
        QCOMPARE(m_rig->pause.count, 0);
    }

private:
    QComboBox *ports() { return m_window->findChild<QComboBox *>(QStringLiteral("SerAuswahl")); }
    QPushButton *printButton()
    {
        return m_window->findChild<QPushButton *>(QStringLiteral("PushButton1"));
    }

    std::unique_ptr<Pty> m_vanishing;
    std::unique_ptr<Pty> m_other;
    std::unique_ptr<WindowRig> m_rig;
    std::unique_ptr<Window1> m_window;
};

QTEST_MAIN(WindowHangupTest)
#include "test_window_hangup.moc"
