#include "support/Pty.h"
#include "support/WindowRig.h"

#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

namespace {

constexpr int kNoQuit = 99;

enum class Way { QuitButton, Escape, CtrlQ, FileQuit };

} // namespace

Q_DECLARE_METATYPE(Way)

class QuitTest : public QObject {
    Q_OBJECT

private slots:
    void endsWithStatusZero_data()
    {
        QTest::addColumn<Way>("way");
        QTest::addColumn<bool>("portOpen");
        const QList<QPair<const char *, Way>> ways = {{"quit button", Way::QuitButton},
                                                      {"Escape", Way::Escape},
                                                      {"Ctrl+Q", Way::CtrlQ},
                                                      {"File > Quit", Way::FileQuit}};
        for (const auto &[name, way] : ways) {
            QTest::addRow("%s, no port", name) << way << false;
            QTest::addRow("%s, port open", name) << way << true;
        }
    }
    void endsWithStatusZero()
    {
        QFETCH(Way, way);
        QFETCH(bool, portOpen);

        Pty pty;
        WindowRig rig;
        rig.ports.list = {{"pty", pty.slavePath()}};
        auto window = rig.openWindow();
        if (portOpen) {
            window->findChild<QComboBox *>("SerAuswahl")->setCurrentIndex(0);
            QVERIFY(window->TestSerial1.isOpen());
        }
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));

        Window1 *w = window.get();
        QTimer::singleShot(0, w, [w, way] {
            switch (way) {
            case Way::QuitButton:
                w->findChild<QPushButton *>("PushButton2")->click();
                break;
            case Way::Escape:
                QTest::keyClick(w, Qt::Key_Escape);
                break;
            case Way::CtrlQ:
                QTest::keyClick(w, Qt::Key_Q, Qt::ControlModifier);
                break;
            case Way::FileQuit:
                w->menuBar()->actions().at(0)->menu()->actions().at(0)->trigger();
                break;
            }
        });
        // Should nothing quit, exec() returns this instead of hanging.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(kNoQuit); });
        guard.start(5000);

        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!window->isVisible());
        QCOMPARE(rig.msgBox.shown.size(), portOpen ? 2 : 1);
    }

    void otherKeysDoNotQuit()
    {
        WindowRig rig;
        auto window = rig.openWindow();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));

        Window1 *w = window.get();
        // A quit the keys asked for would come first: it ends the loop at once.
        QTimer::singleShot(0, w, [w] {
            QTest::keyClick(w, Qt::Key_Q);
            QTest::keyClick(w, Qt::Key_C, Qt::ControlModifier);
            QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
            QMetaObject::invokeMethod(
                qApp, [] { QCoreApplication::exit(kNoQuit); }, Qt::QueuedConnection);
        });
        QCOMPARE(QCoreApplication::exec(), kNoQuit);
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(QuitTest)
#include "test_quit.moc"
