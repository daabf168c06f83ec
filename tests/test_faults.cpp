#include "support/Process.h"
#include "support/SerialOnPty.h"
#include "support/WindowRig.h"

#include <QComboBox>
#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

const QString kOpened = QString::fromUtf8("Serial Port geöffnet.");

// Run as another program: holds the port the way any Qt program does and
// takes what arrives, until its standard input closes.
int holdPort(const char *path)
{
    QSerialPort port(QString::fromLocal8Bit(path));
    const bool held = port.open(QIODevice::ReadOnly);
    std::printf(held ? "held\n" : "failed %d\n", int(port.error()));
    std::fflush(stdout);
    for (;;) {
        pollfd input {STDIN_FILENO, POLLIN, 0};
        char byte;
        if (::poll(&input, 1, 20) > 0 && ::read(STDIN_FILENO, &byte, 1) <= 0)
            break;
        if (held && port.waitForReadyRead(0)) {
            std::printf("took %d\n", int(port.readAll().size()));
            std::fflush(stdout);
        }
    }
    return held ? 0 : 1;
}

QStringList lines(int from, int to)
{
    QStringList texts;
    for (int i = from; i <= to; ++i)
        texts << QStringLiteral("%1 PRINT \"ZEILE %2\"").arg(i * 10).arg(i);
    return texts;
}

QByteArray sent(int from, int to)
{
    return lines(from, to).join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
}

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void portHeldByAnotherProgram();
    void lockLeftByAProgramThatDied();
    void pathThatIsNoSerialDevice_data();
    void pathThatIsNoSerialDevice();
    void portVanishesDuringTheDrain();
    void pageSetupCancelled();
    void printDialogCancelled();
    void textKeptFromAFailedPrintIsDroppedByASettingChange();

private:
    QComboBox *ports() const { return m_window->findChild<QComboBox *>("SerAuswahl"); }
    void clickPrint() { m_window->findChild<QPushButton *>("PushButton1")->click(); }
    // Help, a port choice and a print, each as after a fresh start.
    void verifyStillUsable(int goodRow, Pty &goodPty);

    std::unique_ptr<WindowRig> m_rig;
    std::unique_ptr<Window1> m_window;
    std::unique_ptr<Pty> m_ptys[2];
    QTemporaryDir m_dir;
};

void FaultsTest::init()
{
    for (auto &pty : m_ptys)
        pty = std::make_unique<Pty>();
    m_rig = std::make_unique<WindowRig>();
    QVERIFY(m_rig->ports.listPtys({m_ptys[0].get(), m_ptys[1].get()}));
}

void FaultsTest::cleanup()
{
    m_window.reset();
    m_rig.reset();
    for (auto &pty : m_ptys)
        pty.reset();
}

void FaultsTest::verifyStillUsable(int goodRow, Pty &goodPty)
{
    m_rig->msgBox.shown.clear();
    m_rig->printing.sheets.clear();
    m_window->findChild<QPushButton *>("HilfeButton")->click();
    QCOMPARE(m_rig->msgBox.shown, QStringList {*lookupText(TextKey::MsgSetupHelp, kGerman)});

    m_rig->msgBox.shown.clear();
    ports()->setCurrentIndex(goodRow);
    QCOMPARE(m_rig->msgBox.shown, QStringList {kOpened});
    QVERIFY(m_window->TestSerial1.isOpen());

    QVERIFY(deliver(goodPty, m_window->TestSerial1, sent(900, 903)));
    clickPrint();
    QCOMPARE(m_rig->printing.rowTexts(), lines(900, 903));
    QCOMPARE(m_rig->msgBox.shown, QStringList {kOpened});
}

void FaultsTest::portHeldByAnotherProgram()
{
    ProgramRun other(QCoreApplication::applicationFilePath());
    QVERIFY(other.start({QStringLiteral("--hold-port"), m_ptys[0]->slavePath()}));
    QTRY_VERIFY_WITH_TIMEOUT(other.out().contains('\n'), 10000);
    QCOMPARE(other.out(), QByteArray("held\n"));

    m_window = m_rig->openWindow();
    m_rig->msgBox.shown.clear();
    ports()->setCurrentIndex(0);
    const int code = m_window->TestSerial1.lastErrorCode();
    qInfo("port held by another program: error %d", code);
    QCOMPARE(code, int(QSerialPort::PermissionError));
    QCOMPARE(m_rig->msgBox.shown, QStringList {*portOpenFailedText(kGerman, code)});
    QVERIFY(!m_window->TestSerial1.isOpen());
    QCOMPARE(m_window->Anzahl, 1);

    // What arrives now is the other program's; print passes quietly.
    m_ptys[0]->write("NOT OURS\r\n");
    const auto took = [&other] {
        int bytes = 0;
        for (const QString &line : other.outLines())
            bytes += line.startsWith(QLatin1String("took ")) ? line.mid(5).toInt() : 0;
        return bytes;
    };
    QTRY_COMPARE_WITH_TIMEOUT(took(), 10, 10000);
    m_rig->msgBox.shown.clear();
    clickPrint();
    QVERIFY(m_rig->msgBox.shown.isEmpty());
    QCOMPARE(m_rig->printing.count("newPrinterSetup"), 0);

    // Once the other program lets go, choosing the port opens it: here by
    // way of another row first, as a user may go (choosing the selected row
    // again retries it as well).
    other.closeWriteChannel();
    QCOMPARE(other.waitForEnd(), 0);
    ports()->setCurrentIndex(1);
    verifyStillUsable(0, *m_ptys[0]);
}

void FaultsTest::lockLeftByAProgramThatDied()
{
    ProgramRun other(QCoreApplication::applicationFilePath());
    QVERIFY(other.start({QStringLiteral("--hold-port"), m_ptys[0]->slavePath()}));
    QTRY_VERIFY_WITH_TIMEOUT(other.out().contains('\n'), 10000);
    QCOMPARE(other.out(), QByteArray("held\n"));
    other.stop(SIGKILL);
    QCOMPARE(other.state(), QProcess::NotRunning);

    m_window = m_rig->openWindow();
    verifyStillUsable(0, *m_ptys[0]);
}

void FaultsTest::pathThatIsNoSerialDevice_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("regular file") << m_dir.filePath(QStringLiteral("listing.txt"))
                                  << QByteArray("10 PRINT \"KEEP ME\"\r\n");
    QTest::newRow("/dev/null") << QStringLiteral("/dev/null") << QByteArray();
    QTest::newRow("directory") << m_dir.path() << QByteArray();
}

void FaultsTest::pathThatIsNoSerialDevice()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, content);
    QFile file(path);
    if (!content.isEmpty()) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
    }
    m_rig->ports.list.prepend({"X", path});

    m_window = m_rig->openWindow();
    m_rig->msgBox.shown.clear();
    ports()->setCurrentIndex(0);
    const int code = m_window->TestSerial1.lastErrorCode();
    qInfo("%s: error %d", qPrintable(path), code);
    QVERIFY(code != 0);
    QCOMPARE(m_rig->msgBox.shown, QStringList {*portOpenFailedText(kGerman, code)});
    QVERIFY(!m_window->TestSerial1.isOpen());

    m_rig->msgBox.shown.clear();
    clickPrint();
    QVERIFY(m_rig->msgBox.shown.isEmpty());
    QCOMPARE(m_rig->printing.count("newPrinterSetup"), 0);
    if (!content.isEmpty()) {
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }

    verifyStillUsable(1, *m_ptys[0]);
}

void FaultsTest::portVanishesDuringTheDrain()
{
    m_window = m_rig->openWindow();
    ports()->setCurrentIndex(0);
    QVERIFY(m_window->TestSerial1.isOpen());
    m_rig->msgBox.shown.clear();

    // More arrives during the pause, then the adapter is unplugged before
    // the line has been quiet long enough to end the job.
    // The press comes as the first lines arrive, so the drain pauses.
    QVERIFY(m_ptys[0]->arrive(sent(1, 40)));
    m_rig->pause.onPause = [this](int count) {
        if (count != 1)
            return;
        QVERIFY(m_ptys[0]->arrive(sent(41, 70)));
        // Unplugged once the port has taken them in, at the pause's first turn.
        QTimer::singleShot(0, m_window.get(), [this] {
            m_window->TestSerial1.bytesAvailable();
            m_ptys[0]->closeMaster();
        });
    };
    clickPrint();
    m_rig->pause.onPause = nullptr;

    QCOMPARE(m_rig->printing.rowTexts(), lines(1, 70));
    QCOMPARE(m_rig->printing.count("newPrinterSetup"), 1);
    QVERIFY(m_rig->msgBox.shown.isEmpty());
    QVERIFY(!m_window->TestSerial1.isOpen());

    // Pressing print again finds nothing and says nothing.
    clickPrint();
    QCOMPARE(m_rig->printing.count("newPrinterSetup"), 1);
    QVERIFY(m_rig->msgBox.shown.isEmpty());

    verifyStillUsable(1, *m_ptys[1]);
}

void FaultsTest::pageSetupCancelled()
{
    m_window = m_rig->openWindow();
    ports()->setCurrentIndex(0);
    m_rig->msgBox.shown.clear();
    m_rig->printing.confirmPageSetup = false;

    QVERIFY(deliver(*m_ptys[0], m_window->TestSerial1, sent(1, 130)));
    clickPrint();
    QCOMPARE(m_rig->printing.count("pageSetupDialog"), 1);
    QCOMPARE(m_rig->printing.count("openPrinterDialog"), 1);
    QCOMPARE(m_rig->printing.rowTexts(), lines(1, 130));
    QCOMPARE(m_rig->printing.sheets.size(), 3);
    QVERIFY(m_rig->msgBox.shown.isEmpty());

    m_rig->printing.confirmPageSetup = true;
    verifyStillUsable(1, *m_ptys[1]);
}

void FaultsTest::printDialogCancelled()
{
    m_window = m_rig->openWindow();
    ports()->setCurrentIndex(0);
    m_rig->msgBox.shown.clear();
    m_rig->printing.acceptPrintDialog = false;

    QVERIFY(deliver(*m_ptys[0], m_window->TestSerial1, sent(1, 130)));
    clickPrint();
    QCOMPARE(m_rig->printing.count("openPrinterDialog"), 1);
    QCOMPARE(m_rig->printing.count("drawSheet"), 0);
    QVERIFY(m_rig->msgBox.shown.isEmpty());
    QVERIFY(m_window->TestSerial1.isOpen());

    // A cancel ends the job: the next press shows no dialog when nothing
    // arrived since, and prints only what did.
    m_rig->printing.acceptPrintDialog = true;
    clickPrint();
    QCOMPARE(m_rig->printing.count("openPrinterDialog"), 1);
    QVERIFY(deliver(*m_ptys[0], m_window->TestSerial1, sent(131, 135)));
    clickPrint();
    QCOMPARE(m_rig->printing.rowTexts(), lines(131, 135));
    QCOMPARE(m_rig->printing.count("openPrinterDialog"), 2);
    QVERIFY(m_rig->msgBox.shown.isEmpty());

    verifyStillUsable(1, *m_ptys[1]);
}

void FaultsTest::textKeptFromAFailedPrintIsDroppedByASettingChange()
{
    m_window = m_rig->openWindow();
    ports()->setCurrentIndex(0);
    m_rig->printing.failOnFinish = true;
    QVERIFY(deliver(*m_ptys[0], m_window->TestSerial1, sent(1, 10)));
    clickPrint();
    QCOMPARE(m_rig->printing.count("openPrinterDialog"), 1);
    QCOMPARE(m_rig->msgBox.shown.last(), *lookupText(TextKey::MsgPrintFailed, kGerman));

    // Garbage at a wrong baud rate is what a user gets, and then fixes.
    m_window->findChild<QComboBox *>("PopupBaud")->setCurrentIndex(3);
    m_rig->printing.failOnFinish = false;
    m_rig->msgBox.shown.clear();
    ports()->setCurrentIndex(0);
    QCOMPARE(m_rig->msgBox.shown, QStringList {kOpened});
    clickPrint();
    QCOMPARE(m_rig->printing.count("openPrinterDialog"), 1);
    QCOMPARE(m_rig->printing.count("drawSheet"), 1);
}

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--hold-port") == 0) {
        QCoreApplication app(argc, argv);
        return holdPort(argv[2]);
    }
    QApplication app(argc, argv);
    FaultsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_faults.moc"
