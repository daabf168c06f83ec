#include "app/App.h"
#include "support/Pty.h"
#include "support/WindowRig.h"
#include "texts/Catalogue.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <qpa/qplatformwindow.h>

// The title as a desktop platform (xcb, Wayland) puts it in the title bar.
struct TitleBar : QPlatformWindow {
    using QPlatformWindow::formatWindowTitle;
};

// Every box the window shows, through the program's own message box: each
// belongs to the window (its parent, modal to it, centred over it), is
// titled with the program's name, and shows its text unchanged, in order.
class WindowBoxesTest : public QObject {
    Q_OBJECT

    struct SeenBox {
        QString text;
        QString title;
        QWidget *parent = nullptr;
        Qt::WindowModality modality = Qt::NonModal;
        QPoint centreOffset; // from the window's centre
    };

private slots:
    void everyBoxBelongsToTheWindow()
    {
        Pty pty;
        QVERIFY(pty.isOpen());
        WindowRig rig;
        PortDescriptor good;
        good.name = QStringLiteral("ttyPTY");
        good.location = pty.slavePath();
        PortDescriptor missing;
        missing.name = QStringLiteral("ttyGONE");
        missing.location = QStringLiteral("/dev/nonexistent-tessary-port");
        rig.ports.list = {good, missing};
        WindowServices services = rig.services();
        services.msgBox = nullptr; // the program's own boxes

        Window1 window(services);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The boxes' name must not reach the window's own title bar.
        QCOMPARE(TitleBar::formatWindowTitle(window.windowTitle(), QString::fromUtf8(" \u2014 ")),
                 QStringLiteral("Tessary-1.0"));

        QList<SeenBox> seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            const QPoint offset = box->frameGeometry().center() - window.frameGeometry().center();
            seen << SeenBox {box->text(), box->windowTitle(), box->parentWidget(),
                             box->windowModality(), offset};
            box->accept();
        });
        poll.start(10);

        auto click = [&](const char *name) {
            window.findChild<QPushButton *>(QString::fromLatin1(name))->click();
        };
        auto *ports = window.findChild<QComboBox *>(QStringLiteral("SerAuswahl"));
        window.open(); // usage
        click("PushButton1"); // no port chosen yet
        click("HilfeButton");
        ports->setCurrentIndex(0); // opened
        rig.printing.failOnFinish = true;
        QVERIFY(pty.writeAll("10 PRINT 1\r\n"));
        click("PushButton1"); // print failed
        ports->setCurrentIndex(1); // does not open

        const QString ger = QStringLiteral("ger");
        const QStringList expected {
            *lookupText(TextKey::MsgUsage, ger),       *lookupText(TextKey::MsgNoPort, ger),
            *lookupText(TextKey::MsgSetupHelp, ger),   *lookupText(TextKey::MsgPortOpened, ger),
            *lookupText(TextKey::MsgPrintFailed, ger), *portOpenFailedText(ger, 1)};
        QStringList texts;
        for (const SeenBox &box : std::as_const(seen)) {
            texts << box.text;
            QCOMPARE(box.title, QStringLiteral("Tessary"));
            QCOMPARE(box.parent, &window);
            QCOMPARE(box.modality, Qt::WindowModal);
            QVERIFY2(qAbs(box.centreOffset.x()) <= 2 && qAbs(box.centreOffset.y()) <= 2,
                     qPrintable(QStringLiteral("%1 off centre by %2, %3")
                                    .arg(box.text.left(20))
                                    .arg(box.centreOffset.x())
                                    .arg(box.centreOffset.y())));
        }
        QCOMPARE(texts, expected);
    }
};

int main(int argc, char *argv[])
{
    // The program's application object: it names the program.
    App app(argc, argv);
    WindowBoxesTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_boxes.moc"
