#include "app/ProgressWheel.h"
#include "support/SerialOnPty.h"
#include "support/WindowRig.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kOpenedGerman = QString::fromUtf8("Serial Port geöffnet.");
const QString kNoSuchPort = QStringLiteral("/dev/tessary-no-such-port");

QComboBox *popup(Window1 &window, const char *name)
{
    return window.findChild<QComboBox *>(QString::fromLatin1(name));
}

QStringList rows(QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

speed_t slaveSpeed(const Pty &pty)
{
    const auto tio = pty.slaveTermios();
    return tio ? cfgetospeed(&*tio) : speed_t(-1);
}

} // namespace

class WindowPortsTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_rig = std::make_unique<WindowRig>();
        QVERIFY(m_rig->ports.listPtys({&m_ptys[0], &m_ptys[1], &m_ptys[2]}));
    }
    void cleanup() { m_rig.reset(); }

    void noPortsNoRows()
    {
        m_rig->ports.list.clear();
        auto window = m_rig->openWindow();
        QCOMPARE(popup(*window, "SerAuswahl")->count(), 0);
        QCOMPARE(popup(*window, "SerAuswahl")->currentIndex(), -1);
        QCOMPARE(window->Anzahl, 0);
    }

    void portsListedOnceInEnumerationOrder()
    {
        auto window = m_rig->openWindow();
        QComboBox *ports = popup(*window, "SerAuswahl");
        QCOMPARE(rows(ports), (QStringList {"A", "B", "C"}));
        QCOMPARE(ports->currentIndex(), -1);
        QCOMPARE(m_rig->ports.calls, 1);
        QVERIFY(!window->TestSerial1.isOpen());
        QCOMPARE(m_rig->msgBox.shown.size(), 1); // the usage box only

        // A port that appears later is listed once the system tells of a
        // change, not before.
        m_rig->ports.list << PortDescriptor {"D", kNoSuchPort};
        window->findChild<QPushButton *>("HilfeButton")->click();
        QCOMPARE(ports->count(), 3);
        QVERIFY(m_rig->portWatcher.isWatched());
        m_rig->portWatcher.portsChanged();
        QCOMPARE(rows(ports), (QStringList {"A", "B", "C", "D"}));
        QCOMPARE(m_rig->ports.calls, 2);
    }

    void choosingTheSecondPortOpensIt()
    {
        auto window = m_rig->openWindow();
        m_rig->msgBox.shown.clear();
        popup(*window, "SerAuswahl")->setCurrentIndex(1);

        QCOMPARE(window->Anzahl, 2);
        QVERIFY(window->TestSerial1.isOpen());
        QCOMPARE(window->TestSerial1.serialPort().location, m_ptys[1].slavePath());
        QCOMPARE(m_rig->msgBox.shown, QStringList {kOpenedGerman});
        QCOMPARE(slaveSpeed(m_ptys[1]), speed_t(B9600));
    }

    void failedOpenReportsTheErrorNumber_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("ger") << "ger" << QString::fromUtf8("Konnte Device nicht öffnen. Fehler ");
        QTest::newRow("eng") << "eng"
                             << "Could not open serial port. Error ";
    }
    void failedOpenReportsTheErrorNumber()
    {
        QFETCH(QString, language);
        QFETCH(QString, prefix);
        m_rig->ports.list = {{"gone", kNoSuchPort}};
        auto window = m_rig->openWindow(language);
        m_rig->msgBox.shown.clear();
        popup(*window, "SerAuswahl")->setCurrentIndex(0);

        const int code = window->TestSerial1.lastErrorCode();
        QVERIFY(code != 0);
        QCOMPARE(m_rig->msgBox.shown, QStringList {prefix + QString::number(code)});
        QVERIFY(QRegularExpression("^-?[1-9][0-9]*$")
                    .match(m_rig->msgBox.shown.first().mid(prefix.size()))
                    .hasMatch());
        QCOMPARE(window->Anzahl, 1);
        QCOMPARE(popup(*window, "SerAuswahl")->currentIndex(), 0);
        QVERIFY(!window->TestSerial1.isOpen());
    }

    // What the popup does when the user picks a row: the index changes (if
    // it does), then the pick is announced.
    static void userPicks(QComboBox *box, int row)
    {
        box->setCurrentIndex(row);
        emit box->activated(row);
    }

    void pickingTheSameRowAgainRetriesOnlyAClosedPort()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyLATER");
        m_rig->ports.list = {{"later", link}};
        auto window = m_rig->openWindow();
        QComboBox *ports = popup(*window, "SerAuswahl");
        m_rig->msgBox.shown.clear();

        userPicks(ports, 0);
        QCOMPARE(m_rig->msgBox.shown.size(), 1);
        QVERIFY(m_rig->msgBox.shown.first().startsWith(
            *lookupText(TextKey::MsgPortOpenFailed, kGerman)));

        // The adapter is plugged in; the same row chosen again opens it.
        QVERIFY(QFile::link(m_ptys[0].slavePath(), link));
        userPicks(ports, 0);
        QCOMPARE(m_rig->msgBox.shown.size(), 2);
        QCOMPARE(m_rig->msgBox.shown.last(), kOpenedGerman);
        QVERIFY(window->TestSerial1.isOpen());

        // Open already: picking it again neither reopens it nor drops what
        // it has collected.
        QVERIFY(deliver(m_ptys[0], window->TestSerial1, "10 REM\r\n"));
        userPicks(ports, 0);
        QCOMPARE(m_rig->msgBox.shown.size(), 2);
        QCOMPARE(window->TestSerial1.bytesAvailable(), qint64(8));
    }

    void unknownLanguageOpensSilently()
    {
        auto window = m_rig->openWindow("xx");
        popup(*window, "SerAuswahl")->setCurrentIndex(2);
        QVERIFY(window->TestSerial1.isOpen());
        QCOMPARE(window->Anzahl, 3);
        QVERIFY(m_rig->msgBox.shown.isEmpty());
    }

    void clearingTheSelectionFromCodeChangesNothing()
    {
        auto window = m_rig->openWindow();
        popup(*window, "SerAuswahl")->setCurrentIndex(1);
        m_rig->msgBox.shown.clear();
        popup(*window, "SerAuswahl")->setCurrentIndex(-1);

        QCOMPARE(window->Anzahl, 2);
        QVERIFY(window->TestSerial1.isOpen());
        QCOMPARE(window->TestSerial1.serialPort().location, m_ptys[1].slavePath());
        QVERIFY(m_rig->msgBox.shown.isEmpty());
    }

    void choosingAnotherPortWhileOneIsOpenOpensTheNewOne()
    {
        auto window = m_rig->openWindow();
        m_rig->msgBox.shown.clear();
        popup(*window, "SerAuswahl")->setCurrentIndex(0);
        popup(*window, "SerAuswahl")->setCurrentIndex(2);

        QVERIFY(window->TestSerial1.isOpen());
        QCOMPARE(window->TestSerial1.serialPort().location, m_ptys[2].slavePath());
        QCOMPARE(window->Anzahl, 3);
        QCOMPARE(m_rig->msgBox.shown, (QStringList {kOpenedGerman, kOpenedGerman}));
    }

    void settingChangeClosesThePortUntilItIsChosenAgain()
    {
        auto window = m_rig->openWindow();
        QComboBox *ports = popup(*window, "SerAuswahl");
        ports->setCurrentIndex(1);
        QVERIFY(window->TestSerial1.isOpen());
        m_rig->msgBox.shown.clear();

        popup(*window, "PopupBaud")->setCurrentIndex(3);
        QCOMPARE(window->BaudWert, 4800);
        QVERIFY(!window->TestSerial1.isOpen());
        QCOMPARE(ports->currentIndex(), -1);
        QCOMPARE(window->Anzahl, 2);
        QVERIFY(m_rig->msgBox.shown.isEmpty());

        popup(*window, "PopupParity")->setCurrentIndex(1);
        QVERIFY(!window->TestSerial1.isOpen());

        ports->setCurrentIndex(1);
        QVERIFY(window->TestSerial1.isOpen());
        QCOMPARE(slaveSpeed(m_ptys[1]), speed_t(B4800));
        QCOMPARE(window->TestSerial1.lineSettings().parity, QSerialPort::EvenParity);
        QCOMPARE(m_rig->msgBox.shown, QStringList {kOpenedGerman});
    }

    void printDrainsThePortOntoPaper()
    {
        auto window = m_rig->openWindow();
        popup(*window, "SerAuswahl")->setCurrentIndex(0);
        QVERIFY(window->TestSerial1.isOpen());
        m_rig->msgBox.shown.clear();

        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // Pressed as the listing arrives: the drain pauses for the quiet time.
        QVERIFY(m_ptys[0].arrive("10 REM HELLO\r\n20 END\r\n"));
        auto *wheel = window->findChild<ProgressWheel *>("ProgressWheel1");
        QList<bool> wheelDuringPause;
        m_rig->pause.onPause = [&](int) { wheelDuringPause << wheel->isVisible(); };
        window->findChild<QPushButton *>("PushButton1")->click();

        QVERIFY(!wheelDuringPause.isEmpty());
        QVERIFY(!wheelDuringPause.contains(false));
        QVERIFY(!wheel->isVisible());
        QCOMPARE(m_rig->printing.count("pageSetupDialog"), 1);
        QCOMPARE(m_rig->printing.count("openPrinterDialog"), 1);
        QCOMPARE(m_rig->printing.rowTexts().mid(0, 2), (QStringList {"10 REM HELLO", "20 END"}));
        QVERIFY(m_rig->msgBox.shown.isEmpty());
        QVERIFY(window->TestSerial1.isOpen());
    }

private:
    std::unique_ptr<WindowRig> m_rig;
    Pty m_ptys[3];
};

QTEST_MAIN(WindowPortsTest)
#include "test_window_ports.moc"
