#include "support/Pty.h"
#include "support/WindowRig.h"
#include "support/WindowSystemInput.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kOpened = QString::fromUtf8("Serial Port geöffnet.");

const QStringList kPopups = {"SerAuswahl",   "PopupBaud", "PopupBits", "PopupParity",
                             "PopupStopBit", "PopupDTR",  "PopupCTS",  "PopupXON"};

struct Settings {
    QList<int> indexes;
    QList<int> fields;
    int anzahl;
    bool open;
    QString location;

    bool operator==(const Settings &other) const
    {
        return indexes == other.indexes && fields == other.fields && anzahl == other.anzahl &&
            open == other.open && location == other.location;
    }
};

Settings settingsOf(Window1 &window)
{
    Settings s;
    for (const QString &name : kPopups)
        s.indexes << window.findChild<QComboBox *>(name)->currentIndex();
    s.fields = {window.BaudWert, window.BitWert, window.ParityWert, window.StopBitWert,
                window.DTRWert,  window.CTSWert, window.XONWert};
    s.anzahl = window.Anzahl;
    s.open = window.TestSerial1.isOpen();
    s.location = window.TestSerial1.serialPort().location;
    return s;
}

} // namespace

// Each notch comes through the window system, as a user's does: that is
// where Qt hands the focus to a widget that takes it on a wheel, before the
// popup sees the turn.
class WindowWheelTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_rig = std::make_unique<WindowRig>();
        QVERIFY(m_rig->ports.listPtys({&m_ptys[0], &m_ptys[1], &m_ptys[2]}));
        m_window = m_rig->openWindow();
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        popup("SerAuswahl")->setCurrentIndex(1);
        QVERIFY(m_window->TestSerial1.isOpen());
        m_rig->msgBox.shown.clear();
    }
    void cleanup()
    {
        m_window.reset();
        m_rig.reset();
    }

    void wheelOverAnUnfocusedPopupChangesNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("notches");
        for (const QString &name : kPopups) {
            QTest::newRow(qPrintable(name + " down")) << name << -3;
            QTest::newRow(qPrintable(name + " up")) << name << 3;
        }
    }
    void wheelOverAnUnfocusedPopupChangesNothing()
    {
        QFETCH(QString, name);
        QFETCH(int, notches);
        printButton()->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), printButton());
        const Settings before = settingsOf(*m_window);

        windowSystem::turnWheel(popup(name), notches);

        QVERIFY(settingsOf(*m_window) == before);
        QVERIFY(m_window->TestSerial1.isOpen());
        QVERIFY(m_rig->msgBox.shown.isEmpty());
        QCOMPARE(QApplication::focusWidget(), printButton());
    }

    void focusedBaudPopupTakesWheelAndArrows()
    {
        QComboBox *baud = popup("PopupBaud");
        baud->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(baud->hasFocus());

        windowSystem::turnWheel(baud, -3);
        QCOMPARE(baud->currentText(), QStringLiteral("1200"));
        QCOMPARE(m_window->BaudWert, 1200);
        QCOMPARE(m_window->TestSerial1.lineSettings().baud, 1200);
        // A setting changed by the user closes the port as always.
        QVERIFY(!m_window->TestSerial1.isOpen());
        QCOMPARE(popup("SerAuswahl")->currentIndex(), -1);
        QCOMPARE(m_window->Anzahl, 2);

        QTest::keyClick(baud, Qt::Key_Up);
        QCOMPARE(baud->currentText(), QStringLiteral("2400"));
        QCOMPARE(m_window->BaudWert, 2400);
        windowSystem::turnWheel(baud, 1);
        QCOMPARE(m_window->BaudWert, 4800);
        QVERIFY(m_rig->msgBox.shown.isEmpty());
    }

    void focusedPortPopupOpensThePortTheWheelPicks()
    {
        QComboBox *ports = popup("SerAuswahl");
        ports->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(ports->hasFocus());

        windowSystem::turnWheel(ports, -1);
        QCOMPARE(ports->currentIndex(), 2);
        QCOMPARE(m_window->Anzahl, 3);
        QCOMPARE(m_window->TestSerial1.serialPort().location, m_ptys[2].slavePath());
        QVERIFY(m_window->TestSerial1.isOpen());
        QCOMPARE(m_rig->msgBox.shown, QStringList {kOpened});

        QTest::keyClick(ports, Qt::Key_Up);
        QCOMPARE(ports->currentIndex(), 1);
        QCOMPARE(m_window->TestSerial1.serialPort().location, m_ptys[1].slavePath());
        QCOMPARE(m_rig->msgBox.shown, (QStringList {kOpened, kOpened}));
    }

private:
    QComboBox *popup(const QString &name) { return m_window->findChild<QComboBox *>(name); }
    QPushButton *printButton()
    {
        return m_window->findChild<QPushButton *>(QStringLiteral("PushButton1"));
    }

    std::unique_ptr<WindowRig> m_rig;
    std::unique_ptr<Window1> m_window;
    Pty m_ptys[3];
};

QTEST_MAIN(WindowWheelTest)
#include "test_window_wheel.moc"
