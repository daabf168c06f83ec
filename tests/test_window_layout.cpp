#include "app/MainMenuBar.h"
#include "app/ProgressWheel.h"
#include "support/WindowRig.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {

struct Expected {
    const char *name;
    const char *className;
    QRect geometry;
    QString text;
    bool bold;
    int pointSize; // 0: the application's standard size
    Qt::Alignment horizontal;
    bool visible;
};

const Qt::Alignment L = Qt::AlignLeft;
const Qt::Alignment C = Qt::AlignHCenter;

// The window as designed, written out by hand.
const QVector<Expected> &designed()
{
    static const QVector<Expected> controls = {
        {"SerAuswahl", "QComboBox", {28, 96, 195, 20}, "", false, 0, L, true},
        {"PushButton1", "QPushButton", {28, 161, 87, 20}, "Print", false, 0, L, true},
        {"PushButton2", "QPushButton", {127, 161, 93, 20}, "Ende", false, 0, L, true},
        {"Label1",
         "QLabel",
         {28, 66, 179, 20},
         QString::fromUtf8("Seriellen Port wählen"),
         true,
         0,
         L,
         true},
        {"Label2", "QLabel", {28, 128, 100, 20}, "Druck Start", true, 0, L, true},
        {"Label3", "QLabel", {28, 15, 179, 20}, "PC-1600 Tessary", true, 15, L, true},
        {"PopupBaud", "QComboBox", {317, 65, 105, 20}, "", false, 0, L, true},
        {"Label4", "QLabel", {243, 65, 62, 20}, "Baud", true, 0, C, true},
        {"PopupBits", "QComboBox", {317, 96, 105, 20}, "", false, 0, L, true},
        {"Label5", "QLabel", {243, 97, 62, 20}, "Bits", true, 0, C, true},
        {"PopupParity", "QComboBox", {317, 127, 105, 19}, "", false, 0, L, true},
        {"Label6", "QLabel", {235, 128, 70, 20}, "Parity", true, 0, C, true},
        {"PopupStopBit", "QComboBox", {317, 160, 105, 20}, "", false, 0, L, true},
        {"Label7", "QLabel", {243, 160, 62, 20}, "Stop Bit", true, 0, C, true},
        {"PopupDTR", "QComboBox", {494, 65, 69, 20}, "", false, 0, L, true},
        {"Label8", "QLabel", {451, 66, 31, 20}, "DTR", true, 0, C, true},
        {"PopupCTS", "QComboBox", {494, 96, 69, 20}, "", false, 0, L, true},
        {"Label9", "QLabel", {443, 96, 39, 20}, "CTS", true, 0, C, true},
        {"PopupXON", "QComboBox", {494, 128, 69, 20}, "", false, 0, L, true},
        {"Label10", "QLabel", {443, 128, 39, 20}, "XON", true, 0, C, true},
        {"HilfeButton", "QPushButton", {219, 15, 42, 23}, "", false, 0, L, true},
        {"ProgressWheel1", "ProgressWheel", {512, 15, 32, 32}, "", false, 0, L, false},
    };
    return controls;
}

const QStringList kTabOrder = {"SerAuswahl", "PushButton1", "PushButton2",  "PopupBaud",
                               "PopupBits",  "PopupParity", "PopupStopBit", "PopupDTR",
                               "PopupCTS",   "PopupXON",    "HilfeButton"};

QString textOf(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<QPushButton *>(widget))
        return button->text();
    if (auto *popup = qobject_cast<QComboBox *>(widget))
        return popup->currentText();
    return {};
}

} // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_rig = std::make_unique<WindowRig>();
        m_window = std::make_unique<Window1>(m_rig->services());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup()
    {
        m_window.reset();
        m_rig.reset();
    }

    void windowProperties()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Tessary-1.0"));
        QCOMPARE(m_window->centralWidget()->size(), QSize(602, 209));
        QCOMPARE(m_window->minimumSize(), QSize(64, 64));
        QCOMPARE(m_window->maximumSize(), QSize(32000, 32000));
        QVERIFY(m_window->menuBar()->isVisible());
        QVERIFY(m_window->menuBar()->geometry().bottom() < m_window->centralWidget()->y());
    }

    void controlsAsDesigned_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < designed().size(); ++i)
            QTest::newRow(designed().at(i).name) << i;
    }
    void controlsAsDesigned()
    {
        QFETCH(int, row);
        const Expected &want = designed().at(row);
        const auto matches = m_window->findChildren<QWidget *>(QString::fromLatin1(want.name));
        QCOMPARE(matches.size(), 1);
        QWidget *control = matches.first();
        QCOMPARE(control->parentWidget(), m_window->centralWidget());
        QCOMPARE(QString::fromLatin1(control->metaObject()->className()),
                 QString::fromLatin1(want.className));
        QCOMPARE(control->geometry(), want.geometry);
        QCOMPARE(textOf(control), want.text);
        QCOMPARE(control->isVisible(), want.visible);
        QVERIFY(control->isEnabled());
        QVERIFY(control->toolTip().isEmpty());

        const QFont font = control->font();
        QCOMPARE(font.bold(), want.bold);
        QVERIFY(!font.italic());
        QVERIFY(!font.underline());
        const int points = want.pointSize ? want.pointSize : QApplication::font().pointSize();
        QCOMPARE(font.pointSize(), points);

        if (auto *label = qobject_cast<QLabel *>(control)) {
            QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, want.horizontal);
            QVERIFY(!label->wordWrap());
            QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
            // Whole, whatever the system font: not cut off at its fixed width.
            QVERIFY2(QFontMetrics(font).horizontalAdvance(label->text()) <=
                         label->contentsRect().width(),
                     qPrintable(label->text()));
        }
        if (auto *popup = qobject_cast<QComboBox *>(control)) {
            QCOMPARE(popup->count(), 0);
            QCOMPARE(popup->currentIndex(), -1);
        }
    }

    void exactlyTheDesignedControls()
    {
        QStringList names;
        for (QObject *child : m_window->centralWidget()->children()) {
            if (child->isWidgetType())
                names << child->objectName();
        }
        QCOMPARE(names.size(), designed().size());
        for (const Expected &want : designed())
            QVERIFY2(names.contains(QString::fromLatin1(want.name)), want.name);
    }

    void helpButtonHasNoCaptionButAnIcon()
    {
        auto *help = m_window->findChild<QPushButton *>("HilfeButton");
        QVERIFY(help->text().isEmpty());
        QVERIFY(!help->icon().isNull());
        QVERIFY(help->isDefault());
        QVERIFY(m_window->findChild<QPushButton *>("PushButton1")->isDefault());
    }

    void tabVisitsTheFocusableControlsInOrder()
    {
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        auto *first = m_window->findChild<QWidget *>("SerAuswahl");
        first->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), first);

        QStringList visited = {first->objectName()};
        for (int i = 0; i < kTabOrder.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, kTabOrder + QStringList {"SerAuswahl"});
    }

    void resizingMovesNoControl()
    {
        for (const QSize size : {QSize(300, 120), QSize(900, 500), QSize(20, 20)}) {
            m_window->resize(size);
            QTRY_COMPARE(m_window->size(), size.expandedTo(QSize(64, 64)));
            for (const Expected &want : designed()) {
                auto *control = m_window->findChild<QWidget *>(QString::fromLatin1(want.name));
                QCOMPARE(control->geometry(), want.geometry);
            }
        }
    }

    void menuBarIsTheSharedOne()
    {
        QCOMPARE(m_window->menuBar(), static_cast<QMenuBar *>(MainMenuBar::instance()));
        QCOMPARE(MainMenuBar::instance(), MainMenuBar::instance());
    }

    void menuItemsInOrder()
    {
        const QList<QAction *> bar = m_window->menuBar()->actions();
        QCOMPARE(bar.size(), 2);
        QCOMPARE(bar.at(0)->text(), QStringLiteral("&File"));
        QCOMPARE(bar.at(1)->text(), QStringLiteral("&Edit"));

        const QList<QAction *> file = bar.at(0)->menu()->actions();
        QCOMPARE(file.size(), 1);
        QCOMPARE(file.at(0)->objectName(), QStringLiteral("FileQuit"));
        QCOMPARE(file.at(0)->text(), QStringLiteral("&Quit"));
        QCOMPARE(file.at(0)->menuRole(), QAction::QuitRole);
        QCOMPARE(file.at(0)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

        struct Item {
            const char *name;
            const char *text;
            QKeySequence key;
        };
        const QList<Item> editItems = {
            {"EditUndo", "&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z)},
            {"EditSeparator1", "", {}},
            {"EditCut", "Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X)},
            {"EditCopy", "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C)},
            {"EditPaste", "&Paste", QKeySequence(Qt::CTRL | Qt::Key_V)},
            {"EditClear", "&Delete", {}},
            {"EditSeparator2", "", {}},
            {"EditSelectAll", "Select &All", QKeySequence(Qt::CTRL | Qt::Key_A)},
        };
        const QList<QAction *> edit = bar.at(1)->menu()->actions();
        QCOMPARE(edit.size(), editItems.size());
        for (int i = 0; i < edit.size(); ++i) {
            const Item &want = editItems.at(i);
            QCOMPARE(edit.at(i)->objectName(), QString::fromLatin1(want.name));
            QCOMPARE(edit.at(i)->isSeparator(), QByteArray(want.name).contains("Separator"));
            QCOMPARE(edit.at(i)->text(), QString::fromLatin1(want.text));
            QCOMPARE(edit.at(i)->shortcut(), want.key);
            QVERIFY(edit.at(i)->isVisible());
            QVERIFY(edit.at(i)->isEnabled());
        }
    }

    void editItemsDoNothing()
    {
        m_window->open();
        m_rig->msgBox.shown.clear();
        const QList<QAction *> edit = m_window->menuBar()->actions().at(1)->menu()->actions();
        for (QAction *action : edit)
            action->trigger();
        QCoreApplication::processEvents();
        QVERIFY(m_window->isVisible());
        QVERIFY(m_rig->msgBox.shown.isEmpty());
        QCOMPARE(m_window->Anzahl, 0);
        QCOMPARE(m_window->BaudWert, 9600);
        QCOMPARE(m_window->findChild<QComboBox *>("PopupBaud")->currentText(),
                 QStringLiteral("9600"));
    }

    void wheelTurnsOnlyWhileBusy()
    {
        auto *wheel = m_window->findChild<ProgressWheel *>("ProgressWheel1");
        QVERIFY(!wheel->isVisible());
        QVERIFY(!wheel->isTurning());

        wheel->setBusy(true);
        QVERIFY(wheel->isVisible());
        QVERIFY(wheel->isTurning());
        const QImage before = wheel->grab().toImage();
        const int stepBefore = wheel->step();
        QTRY_VERIFY(wheel->step() != stepBefore);
        QVERIFY(wheel->grab().toImage() != before);

        wheel->setBusy(false);
        QVERIFY(!wheel->isVisible());
        QVERIFY(!wheel->isTurning());
        const int stepStopped = wheel->step();
        QVERIFY(!QTest::qWaitFor([&] { return wheel->step() != stepStopped; }, 300));
        QCOMPARE(wheel->geometry(), QRect(512, 15, 32, 32));
    }

private:
    std::unique_ptr<WindowRig> m_rig;
    std::unique_ptr<Window1> m_window;
};

QTEST_MAIN(WindowLayoutTest)
#include "test_window_layout.moc"
