#include "support/SerialOnPty.h"
#include "support/WindowRig.h"

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kOpened = QString::fromUtf8("Serial Port geöffnet.");

QStringList rows(QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

QStringList toolTips(QComboBox *box)
{
    QStringList tips;
    for (int i = 0; i < box->count(); ++i)
        tips << box->itemData(i, Qt::ToolTipRole).toString();
    return tips;
}

} // namespace

// USB adapters plugged in and pulled out while the window is open: the port
// list follows, and the adapter that was open opens again when it is back.
// Each adapter is a link in a folder of the test's own, pointing at a
// pseudo-terminal while it is plugged in.
class WindowPortChangesTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_rig = std::make_unique<WindowRig>();
    }
    void cleanup()
    {
        m_window.reset();
        m_rig.reset();
        m_ptys.clear();
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::System | QDir::Files))
            QFile::remove(m_dir.filePath(name));
    }

    void rowsFollowTheSystemAndRunNoHandler_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("chosenBefore"); // -1: none
        QTest::addColumn<int>("chosenAfter");

        QTest::newRow("plugged in, none chosen")
            << QStringList {"ttyS0", "ttyUSB1"} << QStringList {"ttyS0", "ttyUSB0", "ttyUSB1"} << -1
            << -1;
        QTest::newRow("plugged in ahead of the chosen one")
            << QStringList {"ttyS0", "ttyUSB2"}
            << QStringList {"ttyS0", "ttyUSB0", "ttyUSB1", "ttyUSB2"} << 1 << 3;
        QTest::newRow("pulled out ahead of the chosen one")
            << QStringList {"ttyS0", "ttyUSB0", "ttyUSB1"} << QStringList {"ttyS0", "ttyUSB1"} << 2
            << 1;
        QTest::newRow("plugged in after the chosen one")
            << QStringList {"ttyUSB2"} << QStringList {"ttyUSB2", "ttyUSB10"} << 0 << 0;
        QTest::newRow("all at once") << QStringList {"ttyACM0", "ttyUSB0", "ttyUSB9"}
                                     << QStringList {"ttyS1", "ttyUSB9", "ttyUSB11"} << 2 << 1;
        QTest::newRow("the last one pulled out")
            << QStringList {"ttyUSB0"} << QStringList {} << -1 << -1;
    }
    void rowsFollowTheSystemAndRunNoHandler()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(int, chosenBefore);
        QFETCH(int, chosenAfter);

        plugIn(before);
        m_window = m_rig->openWindow();
        if (chosenBefore >= 0) {
            ports()->setCurrentIndex(chosenBefore);
            QVERIFY(m_window->TestSerial1.isOpen());
        }
        m_rig->msgBox.shown.clear();
        const QString chosenPath = m_window->TestSerial1.serialPort().location;

        plugIn(after);
        m_rig->portWatcher.portsChanged();

        QCOMPARE(rows(ports()), after);
        QCOMPARE(ports()->currentIndex(), chosenAfter);
        QCOMPARE(m_window->Anzahl, chosenAfter + 1);
        QVERIFY(m_rig->msgBox.shown.isEmpty());
        QCOMPARE(m_window->TestSerial1.isOpen(), chosenBefore >= 0);
        QCOMPARE(m_window->TestSerial1.serialPort().location, chosenPath);
        if (chosenAfter >= 0) {
            QCOMPARE(rows(ports()).at(chosenAfter), QFileInfo(chosenPath).fileName());
            // The choice still works on the row that moved.
            emit ports()->activated(chosenAfter);
            QVERIFY(m_rig->msgBox.shown.isEmpty());
            QVERIFY(m_window->TestSerial1.isOpen());
        }
    }

    void rowsTellWhatTheSystemKnowsOfTheDevice()
    {
        m_rig->ports.list = {
            {"ttyS0", "/dev/ttyS0"},
            {"ttyUSB0", m_dir.filePath("ttyUSB0"), "FT232R USB UART", "FTDI", "A50285BI", ""}};
        m_window = m_rig->openWindow();
        QCOMPARE(toolTips(ports()), (QStringList {"", "FT232R USB UART\nFTDI\nA50285BI"}));

        m_rig->ports.list.append({"ttyUSB1", m_dir.filePath("ttyUSB1"), "USB-Serial Controller",
                                  "Prolific Technology Inc.", "", ""});
        m_rig->ports.list[1].serialNumber = "A50285BJ";
        m_rig->portWatcher.portsChanged();
        QCOMPARE(toolTips(ports()),
                 (QStringList {"", "FT232R USB UART\nFTDI\nA50285BJ",
                               "USB-Serial Controller\nProlific Technology Inc."}));
    }

    void chosenPortKeepsItsRowWhileAway_data()
    {
        QTest::addColumn<bool>("settingChangedFirst");
        QTest::newRow("selected") << false;
        QTest::newRow("selection cleared by a setting") << true;
    }
    void chosenPortKeepsItsRowWhileAway()
    {
        QFETCH(bool, settingChangedFirst);
        plugIn({"ttyUSB1", "ttyUSB10"});
        m_window = m_rig->openWindow();
        ports()->setCurrentIndex(1);
        QVERIFY(m_window->TestSerial1.isOpen());
        if (settingChangedFirst)
            popup("PopupBaud")->setCurrentIndex(3);
        const int selected = settingChangedFirst ? -1 : 2;
        m_rig->msgBox.shown.clear();

        // ttyUSB10 pulled out, ttyUSB2 plugged in: the chosen row stays, in
        // its natural place.
        pullOut("ttyUSB10");
        plugIn({"ttyUSB1", "ttyUSB2"});
        m_rig->portWatcher.portsChanged();
        QCOMPARE(rows(ports()), (QStringList {"ttyUSB1", "ttyUSB2", "ttyUSB10"}));
        QCOMPARE(ports()->currentIndex(), selected);
        QCOMPARE(m_window->Anzahl, 3);

        // Another refresh, with ttyUSB1 gone as well.
        plugIn({"ttyUSB2"});
        m_rig->portWatcher.portsChanged();
        QCOMPARE(rows(ports()), (QStringList {"ttyUSB2", "ttyUSB10"}));
        QCOMPARE(ports()->currentIndex(), selected == -1 ? -1 : 1);
        QCOMPARE(m_window->Anzahl, 2);
        QVERIFY(m_rig->msgBox.shown.isEmpty());
        QTRY_VERIFY(!m_window->TestSerial1.isOpen());

        // Choosing another port lets the absent one go at the next refresh.
        ports()->setCurrentIndex(0);
        QCOMPARE(m_rig->msgBox.shown, QStringList {kOpened});
        m_rig->portWatcher.portsChanged();
        QCOMPARE(rows(ports()), QStringList {"ttyUSB2"});
        QCOMPARE(m_window->Anzahl, 1);
    }

    // Unplugged while open, with a listing received and not yet printed;
    // plugged back in: it opens again by itself, with the current settings,
    // and the listing prints together with what arrives after.
    void openPortThatComesBackOpensAgain()
    {
        plugIn({"ttyS0", "ttyUSB0"});
        m_window = m_rig->openWindow();
        popup("PopupBaud")->setCurrentIndex(4);
        ports()->setCurrentIndex(1);
        QVERIFY(m_window->TestSerial1.isOpen());
        m_rig->msgBox.shown.clear();

        Pty &first = *m_ptys.value("ttyUSB0");
        QVERIFY(deliver(first, m_window->TestSerial1, "10 REM BEFORE\r\n"));
        pullOut("ttyUSB0");
        QTRY_VERIFY(m_window->TestSerial1.isLost());
        m_rig->portWatcher.portsChanged();
        QCOMPARE(rows(ports()), (QStringList {"ttyS0", "ttyUSB0"}));
        QVERIFY(m_rig->msgBox.shown.isEmpty());

        plugIn({"ttyS0", "ttyUSB0"});
        m_rig->portWatcher.portsChanged();
        QCOMPARE(m_rig->msgBox.shown, QStringList {kOpened});
        QVERIFY(m_window->TestSerial1.isOpen());
        QCOMPARE(m_window->TestSerial1.lineSettings().baud, 2400);
        const auto tio = m_ptys.value("ttyUSB0")->slaveTermios();
        QVERIFY(tio);
        QCOMPARE(cfgetispeed(&*tio), speed_t(B2400));
        QCOMPARE(ports()->currentIndex(), 1);
        QCOMPARE(m_window->Anzahl, 2);

        // Once only: more news about the ports opens nothing again.
        m_rig->portWatcher.portsChanged();
        QCOMPARE(m_rig->msgBox.shown.size(), 1);

        QVERIFY(deliver(*m_ptys.value("ttyUSB0"), m_window->TestSerial1, "20 REM AFTER\r\n"));
        printButton()->click();
        QCOMPARE(m_rig->printing.rowTexts(), (QStringList {"10 REM BEFORE", "20 REM AFTER"}));
    }

    void portThatComesBackButFailsSaysSo()
    {
        plugIn({"ttyUSB0"});
        m_window = m_rig->openWindow();
        ports()->setCurrentIndex(0);
        pullOut("ttyUSB0");
        QTRY_VERIFY(m_window->TestSerial1.isLost());
        m_rig->portWatcher.portsChanged();
        m_rig->msgBox.shown.clear();

        // Back under its name, but not a serial device the port can open.
        QFile junk(m_dir.filePath("ttyUSB0"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.close();
        m_rig->ports.list.append({"ttyUSB0", junk.fileName()});
        m_rig->portWatcher.portsChanged();
        const int code = m_window->TestSerial1.lastErrorCode();
        QVERIFY(code != 0);
        QCOMPARE(m_rig->msgBox.shown, QStringList {*portOpenFailedText(kGerman, code)});
        QVERIFY(!m_window->TestSerial1.isOpen());

        // Told once; the user chooses the port again when it is fixed.
        m_rig->portWatcher.portsChanged();
        QCOMPARE(m_rig->msgBox.shown.size(), 1);
    }

    // Only a port that went away and came back is opened again by itself.
    void lostPortIsNotOpenedAgain_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("hung up, never gone from the list") << "nothing";
        QTest::newRow("a setting changed while it was away") << "setting";
        QTest::newRow("another port chosen while it was away") << "other port";
    }
    void lostPortIsNotOpenedAgain()
    {
        QFETCH(QString, meanwhile);
        plugIn({"ttyS0", "ttyUSB0"});
        m_window = m_rig->openWindow();
        ports()->setCurrentIndex(1);
        QVERIFY(m_window->TestSerial1.isOpen());
        if (meanwhile == QLatin1String("nothing")) {
            m_ptys.value("ttyUSB0")->closeMaster();
        } else {
            pullOut("ttyUSB0");
            QTRY_VERIFY(m_window->TestSerial1.isLost());
            m_rig->portWatcher.portsChanged();
            if (meanwhile == QLatin1String("setting"))
                popup("PopupParity")->setCurrentIndex(2);
            else
                ports()->setCurrentIndex(0);
            plugIn({"ttyS0", "ttyUSB0"});
        }
        QTRY_VERIFY(m_window->TestSerial1.isLost() || meanwhile != QLatin1String("nothing"));
        m_rig->msgBox.shown.clear();
        const QString held = m_window->TestSerial1.serialPort().location;
        const bool openBefore = m_window->TestSerial1.isOpen();

        m_rig->portWatcher.portsChanged();
        QVERIFY(m_rig->msgBox.shown.isEmpty());
        QCOMPARE(m_window->TestSerial1.serialPort().location, held);
        QCOMPARE(m_window->TestSerial1.isOpen(), openBefore);
    }

    // News of the ports that comes during a print job's pause waits for the
    // job to end; the port stays as it is meanwhile.
    void refreshWaitsForThePrintJob()
    {
        plugIn({"ttyUSB0"});
        m_window = m_rig->openWindow();
        ports()->setCurrentIndex(0);
        m_rig->msgBox.shown.clear();
        // Pressed as the line arrives: the drain pauses for the quiet time.
        QVERIFY(m_ptys.value("ttyUSB0")->arrive("10 REM ONE\r\n"));

        QStringList rowsDuringTheJob;
        m_rig->pause.onPause = [&](int) {
            plugIn({"ttyS0", "ttyUSB0"});
            m_rig->portWatcher.portsChanged();
            rowsDuringTheJob = rows(ports());
        };
        printButton()->click();
        QCOMPARE(rowsDuringTheJob, QStringList {"ttyUSB0"});
        QCOMPARE(m_rig->printing.rowTexts(), QStringList {"10 REM ONE"});
        QCOMPARE(rows(ports()), (QStringList {"ttyS0", "ttyUSB0"}));
        QCOMPARE(ports()->currentIndex(), 1);
        QCOMPARE(m_window->Anzahl, 2);
        QVERIFY(m_window->TestSerial1.isOpen());
        QVERIFY(m_rig->msgBox.shown.isEmpty());
    }

    // The adapter pulled out and plugged in again while a box is up, or
    // while a print job runs: nothing stacks on the box or the job, and the
    // port opens again once they are over.
    void portBackWhileBusyOpensAfterwards_data()
    {
        QTest::addColumn<bool>("duringTheJob");
        QTest::newRow("while a box is up") << false;
        QTest::newRow("while a print job runs") << true;
    }
    void portBackWhileBusyOpensAfterwards()
    {
        QFETCH(bool, duringTheJob);
        plugIn({"ttyUSB0"});
        m_window = m_rig->openWindow();
        m_rig->msgBox.shown.clear();
        int boxesUp = 0;
        int mostBoxesUp = 0;
        bool replugged = false;
        const auto replug = [&] {
            if (replugged)
                return;
            replugged = true;
            pullOut("ttyUSB0");
            QTRY_VERIFY(m_window->TestSerial1.isLost());
            m_rig->portWatcher.portsChanged();
            plugIn({"ttyS0", "ttyUSB0"});
            m_rig->portWatcher.portsChanged();
            QCOMPARE(rows(ports()), QStringList {"ttyUSB0"});
        };
        m_rig->msgBox.onShow = [&](const QString &) {
            mostBoxesUp = std::max(mostBoxesUp, ++boxesUp);
            if (!duringTheJob)
                replug();
            --boxesUp;
        };
        ports()->setCurrentIndex(0);
        if (duringTheJob) {
            QVERIFY(m_ptys.value("ttyUSB0")->arrive("10 REM ONE\r\n"));
            m_rig->pause.onPause = [&](int) { replug(); };
            printButton()->click();
            QCOMPARE(m_rig->printing.rowTexts(), QStringList {"10 REM ONE"});
        }
        QVERIFY(replugged);
        QCOMPARE(mostBoxesUp, 1);
        QCOMPARE(m_rig->msgBox.shown, (QStringList {kOpened, kOpened}));
        QVERIFY(m_window->TestSerial1.isOpen());
        QCOMPARE(rows(ports()), (QStringList {"ttyS0", "ttyUSB0"}));
        QCOMPARE(ports()->currentIndex(), 1);
        QCOMPARE(m_window->Anzahl, 2);
    }

    void closedWindowHearsNoMore()
    {
        plugIn({"ttyUSB0"});
        m_window = m_rig->openWindow();
        QVERIFY(m_rig->portWatcher.isWatched());
        m_window.reset();
        QVERIFY(!m_rig->portWatcher.isWatched());
    }

private:
    QComboBox *popup(const char *name)
    {
        return m_window->findChild<QComboBox *>(QString::fromLatin1(name));
    }
    QComboBox *ports() { return popup("SerAuswahl"); }
    QPushButton *printButton()
    {
        return m_window->findChild<QPushButton *>(QStringLiteral("PushButton1"));
    }

    // The system lists exactly these adapters, in this order; each one not
    // plugged in yet gets a pseudo-terminal behind its link.
    void plugIn(const QStringList &names)
    {
        m_rig->ports.list.clear();
        for (const QString &name : names) {
            const QString link = m_dir.filePath(name);
            if (!m_ptys.contains(name) || !QFileInfo::exists(link)) {
                QFile::remove(link);
                m_ptys[name] = std::make_shared<Pty>();
                QVERIFY(m_ptys[name]->isOpen());
                QVERIFY(QFile::link(m_ptys[name]->slavePath(), link));
            }
            m_rig->ports.list.append({name, link});
        }
    }
    // The adapter's device is gone: a hang-up for whoever holds it open, no
    // link, and the system no longer lists it.
    void pullOut(const QString &name)
    {
        QFile::remove(m_dir.filePath(name));
        if (m_ptys.contains(name))
            m_ptys[name]->closeMaster();
        m_rig->ports.list.removeIf([&](const PortDescriptor &port) { return port.name == name; });
    }

    QTemporaryDir m_dir;
    std::unique_ptr<WindowRig> m_rig;
    std::unique_ptr<Window1> m_window;
    QHash<QString, std::shared_ptr<Pty>> m_ptys;
};

QTEST_MAIN(WindowPortChangesTest)
#include "test_window_port_changes.moc"
