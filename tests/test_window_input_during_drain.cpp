#include "support/Pty.h"
#include "support/WindowRig.h"
#include "support/WindowSystemInput.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

namespace {
const QString kOpened = QString::fromUtf8("Serial Port geöffnet.");
} // namespace

// The user clicks or types while Print waits for the line to be quiet. The
// window keeps painting and the port keeps receiving, but that input waits
// until the job is over: it neither starts a second job inside the first
// nor changes the port under it.
class WindowInputDuringDrainTest : public QObject {
    Q_OBJECT

private slots:
    void inputDuringTheWaitWaitsForTheJob_data()
    {
        QTest::addColumn<QString>("input");
        QTest::newRow("click on Print") << "click";
        QTest::newRow("arrow key on the port popup") << "key";
    }
    void inputDuringTheWaitWaitsForTheJob()
    {
        QFETCH(QString, input);
        const bool click = input == QLatin1String("click");
        Pty ptyA;
        Pty ptyB;
        WindowRig rig;
        QVERIFY(rig.ports.listPtys({&ptyA, &ptyB}));
        auto window = rig.openWindow();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        auto *ports = window->findChild<QComboBox *>(QStringLiteral("SerAuswahl"));
        auto *print = window->findChild<QPushButton *>(QStringLiteral("PushButton1"));
        ports->setCurrentIndex(0);
        QVERIFY(window->TestSerial1.isOpen());
        ports->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(ports->hasFocus());

        int presses = 0;
        connect(print, &QPushButton::clicked, this, [&] { ++presses; });
        bool inJob = false;
        QStringList shownInJob;
        rig.msgBox.shown.clear();
        rig.msgBox.onShow = [&](const QString &text) {
            if (inJob)
                shownInJob << text;
        };
        // While the drain waits the rest of the listing comes, and so does
        // the user's input.
        rig.pause.onPause = [&](int count) {
            if (count != 1)
                return;
            QVERIFY(ptyA.arrive("20 REM TWO\r\n"));
            if (click)
                windowSystem::queueClick(print);
            else
                windowSystem::queueKey(ports, Qt::Key_Down);
        };
        QStringList portAfterEachPause;
        rig.pause.afterPause = [&](int) {
            portAfterEachPause << (window->TestSerial1.isOpen()
                                       ? window->TestSerial1.serialPort().location
                                       : QStringLiteral("closed"));
        };

        // Pressed as the line arrives: the drain pauses for the quiet time.
        QVERIFY(ptyA.arrive("10 REM ONE\r\n"));
        inJob = true;
        print->click();
        inJob = false;

        // One press, one job, with all of the listing, on the port that was
        // open all along.
        QVERIFY(rig.pause.count >= 1);
        QCOMPARE(rig.printing.count("newPrinterSetup"), 1);
        QCOMPARE(rig.printing.rowTexts(), (QStringList {"10 REM ONE", "20 REM TWO"}));
        QCOMPARE(portAfterEachPause, QStringList(rig.pause.count, ptyA.slavePath()));
        QVERIFY2(shownInJob.isEmpty(), qPrintable(shownInJob.join(" | ")));
        QCOMPARE(presses, 1);

        // The input was held, not lost: it comes once the job is over.
        if (click) {
            QTRY_COMPARE(presses, 2);
            QCOMPARE(rig.printing.count("newPrinterSetup"), 1); // nothing new to print
            QCOMPARE(window->TestSerial1.serialPort().location, ptyA.slavePath());
        } else {
            QTRY_COMPARE(ports->currentIndex(), 1);
            QCOMPARE(window->TestSerial1.serialPort().location, ptyB.slavePath());
            QCOMPARE(rig.msgBox.shown, QStringList {kOpened});
        }
        rig.msgBox.onShow = nullptr;
    }
};

QTEST_MAIN(WindowInputDuringDrainTest)
#include "test_window_input_during_drain.moc"
