#include "app/MainMenuBar.h"
#include "app/Window1.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>
#include <QtTest>

// The start the program makes: real services, the window shown, then the
// usage box, modal, over it.
class ProgramStartTest : public QObject {
    Q_OBJECT

private slots:
    void usageBoxComesOverTheShownWindow()
    {
        MainMenuBar *bar = MainMenuBar::instance();
        Window1 *window = Window1::instance();
        QVERIFY(window);
        QCOMPARE(Window1::instance(), window);
        QCOMPARE(window->menuBar(), static_cast<QMenuBar *>(bar));

        QString boxText;
        bool windowShownUnderBox = false;
        QStringList captionsAtBox;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll.stop();
            boxText = box->text();
            // On the screen, where the window manager placed it, before the
            // box is centred over it.
            windowShownUnderBox =
                window->windowHandle()->isExposed() && box->parentWidget() == window;
            captionsAtBox = {window->findChild<QPushButton *>("PushButton2")->text(),
                             window->findChild<QLabel *>("Label2")->text(),
                             window->findChild<QLabel *>("Label1")->text()};
            box->accept();
        });
        poll.start(10);

        QTRY_VERIFY_WITH_TIMEOUT(!boxText.isEmpty(), 10000);
        QVERIFY(windowShownUnderBox);
        QVERIFY(boxText.startsWith(QStringLiteral("            Anwendung :")));
        QCOMPARE(captionsAtBox,
                 (QStringList {"Ende", "Druck Start", QString::fromUtf8("Seriellen Port wählen")}));
        QCOMPARE(window->Language, QStringLiteral("ger"));
        QCOMPARE(window->BaudWert, 9600);

        // Only one main window, and asking again opens no second usage box.
        QCOMPARE(Window1::instance(), window);
        QCoreApplication::processEvents();
        QVERIFY(!QApplication::activeModalWidget());
        int mainWindows = 0;
        for (QWidget *top : QApplication::topLevelWidgets())
            mainWindows += qobject_cast<Window1 *>(top) && top->isVisible();
        QCOMPARE(mainWindows, 1);
        window->close();
    }
};

QTEST_MAIN(ProgramStartTest)
#include "test_program_start.moc"
