#include "support/Pty.h"
#include "support/WindowRig.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QWindow>
#include <QtTest>

// The drain's pause lets the window system through (it keeps painting), so
// a close request can arrive while a print job is still on the stack.
class WindowCloseDuringPrintTest : public QObject {
    Q_OBJECT

private slots:
    void closeRequestWaitsForTheJob_data()
    {
        QTest::addColumn<bool>("fromWindowSystem");
        QTest::newRow("close()") << false;
        QTest::newRow("window-system close event") << true;
    }
    void closeRequestWaitsForTheJob()
    {
        QFETCH(bool, fromWindowSystem);
        Pty pty;
        WindowRig rig;
        QVERIFY(rig.ports.listPtys({&pty}));

        QPointer<Window1> window = new Window1(rig.services());
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->open();
        window->findChild<QComboBox *>(QStringLiteral("SerAuswahl"))->setCurrentIndex(0);
        QVERIFY(window->TestSerial1.isOpen());

        // Pressed as the listing arrives: the drain pauses for the quiet time.
        QVERIFY(pty.arrive("10 REM ONE\r\n20 REM TWO\r\n"));

        bool inJob = false;
        bool destroyedInJob = false;
        bool closeRequested = false;
        connect(window, &QObject::destroyed, this, [&] { destroyedInJob = inJob; });
        // The request lands in the first pause, at a turn of its event loop.
        rig.pause.onPause = [&](int count) {
            if (count != 1)
                return;
            QTimer::singleShot(0, this, [&] {
                closeRequested = inJob;
                if (!window)
                    return;
                if (fromWindowSystem)
                    QCoreApplication::postEvent(window->windowHandle(), new QCloseEvent);
                else
                    window->close();
            });
        };

        inJob = true;
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("PushButton1")),
                          Qt::LeftButton);
        inJob = false;

        QVERIFY2(closeRequested, "the close request did not come during the job");
        QVERIFY2(!destroyedInJob, "the window was deleted under its own print job");
        QCOMPARE(rig.printing.rowTexts(), (QStringList {"10 REM ONE", "20 REM TWO"}));
        QCOMPARE(rig.printing.count("release"), 1);
        // The request is not lost: the window goes once the job is over.
        QTRY_VERIFY(window.isNull());
    }
};

QTEST_MAIN(WindowCloseDuringPrintTest)
#include "test_window_close_during_print.moc"
