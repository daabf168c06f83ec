#include "printjob/Capture.h"
#include "serial/Serial.h"
#include "support/FakeToolkit.h"
#include "support/Listings.h"
#include "support/Process.h"
#include "support/Pty.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<QTemporaryFile> fileWith(const QByteArray &bytes)
{
    auto file = std::make_unique<QTemporaryFile>();
    if (!file->open() || file->write(bytes) != bytes.size() || !file->flush())
        return nullptr;
    return file;
}

// The serial connection a reader opens on the simulator's device.
bool openAt(Serial &serial, const QString &device, int baud)
{
    LineSettings settings = serial.lineSettings();
    settings.baud = baud;
    serial.setLineSettings(settings);
    serial.setSerialPort({device.section('/', -1), device});
    return serial.open();
}

// pc1600-sim on a pseudo-terminal of its own, sending the file at 38400 baud
// with no pauses to whichever program opens it, for up to a minute.
std::unique_ptr<ProgramRun> startWaitingSimulator(const QString &file, QString &device)
{
    return startSimulator(
        {"--pty", "--baud", "38400", "--pause-ms", "0", "--linger-ms", "60000", file}, device);
}

} // namespace

class SimulatorTest : public QObject {
    Q_OBJECT

private slots:
    void sendsTheFileByteForByte();
    void paceFollowsTheBaudRate();
    void aListingSentInBurstsIsOneJob();
    void waitsForALateReader();
    void holdsWhatTheReaderHasNotTaken();
    void reportsErrors();
    void writesAListingFromUtf8();
    void deviceIsSetTo8N1WithNoHandshake();
};

void SimulatorTest::sendsTheFileByteForByte()
{
    QByteArray bytes = sampleFile();
    QVERIFY(!bytes.isEmpty());
    bytes += allByteValues() + "\r\n";
    const auto file = fileWith(bytes);
    QVERIFY(file);

    QString device;
    const auto sim = startSimulator({"--pty", "--baud", "38400", "--pause-ms", "20", "--wait-line",
                                     "--linger-ms", "1500", file->fileName()},
                                    device);
    QVERIFY(sim);
    QVERIFY2(device.startsWith("/dev/pts/"), qPrintable(device));

    Serial serial;
    QVERIFY(openAt(serial, device, 38400));
    sim->write("go\n");

    QByteArray received;
    QTRY_COMPARE_WITH_TIMEOUT((received += serial.readAll()).size(), bytes.size(), 10000);
    QVERIFY(received == bytes);

    QCOMPARE(sim->waitForEnd(10000), 0);
    QCOMPARE(serial.readAll(), QByteArray());
}

void SimulatorTest::paceFollowsTheBaudRate()
{
    // 600 bytes at 2400 baud, about 240 bytes a second: some 2.5 s on the line.
    const QByteArray bytes = QByteArray(59, 'x').append('\n').repeated(10);
    const auto file = fileWith(bytes);
    QVERIFY(file);

    QString device;
    const auto sim = startSimulator({"--baud", "2400", "--pause-ms", "0", "--wait-line",
                                     "--linger-ms", "1000", file->fileName()},
                                    device);
    QVERIFY(sim);
    Serial serial;
    QVERIFY(openAt(serial, device, 2400));
    QElapsedTimer clock;
    clock.start();
    sim->write("go\n");

    QByteArray received;
    QTRY_COMPARE_WITH_TIMEOUT((received += serial.readAll()).size(), bytes.size(), 30000);
    QCOMPARE(received, bytes);
    // The wire takes 2.5 s for them; the clock ran from before the start,
    // so a busy machine can only make this longer.
    qInfo("600 bytes at 2400 baud took %lld ms", clock.elapsed());
    QVERIFY2(clock.elapsed() >= 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(sim->waitForEnd(10000), 0);
}

void SimulatorTest::aListingSentInBurstsIsOneJob()
{
    QByteArray listing;
    for (int line = 1; line <= 10; ++line)
        listing += QByteArray::number(line * 10) + " PRINT \"PAUSED " + QByteArray::number(line) +
            "\"\r\n";
    const auto file = fileWith(listing);
    QVERIFY(file);

    QString device;
    const auto sim = startSimulator({"--baud", "4800", "--pause-ms", "100", "--wait-line",
                                     "--linger-ms", "1500", file->fileName()},
                                    device);
    QVERIFY(sim);
    Serial serial;
    QVERIFY(openAt(serial, device, 4800));
    sim->write("go\n");
    // The user presses Print once the first line is in.
    QTRY_VERIFY_WITH_TIMEOUT(serial.bytesAvailable() > 0, 5000);

    RecordingMsgBox msgBox;
    RecordingBusy busy;
    QtPause pause;
    CountingYield yield;
    CaptureServices services {msgBox, busy, pause, yield};
    const std::optional<QByteArray> text = CaptureReceivedText(1, serial, services);
    QVERIFY(text);
    QCOMPARE(*text, listing);
    QCOMPARE(sim->waitForEnd(10000), 0);
}

// A program started after the simulator still gets every byte: nothing is
// sent before the pseudo-terminal is open, and it hangs up when the reader
// closes it, not a linger time later.
void SimulatorTest::waitsForALateReader()
{
    const QByteArray bytes = sampleListing(300);
    const auto file = fileWith(bytes);
    QVERIFY(file);
    QString device;
    const auto sim = startWaitingSimulator(file->fileName(), device);
    QVERIFY(sim);
    QTRY_VERIFY_WITH_TIMEOUT(
        sim->err().contains("pc1600-sim: waiting for a program to open " + device.toLocal8Bit()),
        10000);
    QCOMPARE(sim->state(), QProcess::Running);

    Serial serial;
    QVERIFY(openAt(serial, device, 38400));
    QByteArray received;
    QTRY_COMPARE_WITH_TIMEOUT((received += serial.readAll()).size(), bytes.size(), 30000);
    QVERIFY(received == bytes);
    serial.close();
    QCOMPARE(sim->waitForEnd(5000), 0);
}

// A reader that closes the port halfway and comes back finds the rest.
void SimulatorTest::holdsWhatTheReaderHasNotTaken()
{
    const QByteArray bytes = numberedLines(300);
    const auto file = fileWith(bytes);
    QVERIFY(file);
    QString device;
    const auto sim = startWaitingSimulator(file->fileName(), device);
    QVERIFY(sim);
    Serial serial;
    QVERIFY(openAt(serial, device, 38400));
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += serial.readAll()).size() >= 500, 10000);
    serial.close();

    QTRY_VERIFY_WITH_TIMEOUT(sim->err().contains("waiting for a program to read the last "), 10000);
    QVERIFY(serial.open());
    QTRY_COMPARE_WITH_TIMEOUT((received += serial.readAll()).size(), bytes.size(), 10000);
    QVERIFY(received == bytes);
    serial.close();
    QCOMPARE(sim->waitForEnd(5000), 0);
}

void SimulatorTest::reportsErrors()
{
    const auto file = fileWith("10 END\r\n");
    QVERIFY(file);

    const QString sim = QStringLiteral(PC1600_SIM_PATH);
    const ProcessResult missingDevice =
        runProcess(sim, {"--device", "/dev/ttyNONE-tessary", file->fileName()});
    QCOMPARE(missingDevice.exitCode, 1);
    QCOMPARE(missingDevice.err.count('\n'), 1);
    QVERIFY2(missingDevice.err.contains("/dev/ttyNONE-tessary"), missingDevice.err.constData());
    QCOMPARE(runProcess(sim, {"/nonexistent/listing.txt"}).exitCode, 1);
    // A usage error: one line that names what is wrong, and where to read more.
    const QString name = file->fileName();
    const QList<QPair<QStringList, QByteArray>> usageErrors {
        {{"--baud", "fast", name}, "\"fast\""},
        {{"--fast"}, "'--fast'"},
        {{name, "--baud"}, "'--baud'"},
        {{}, "no file"},
        // A rate it cannot set on a device is refused on a pty too.
        {{"--baud", "14400", name},
         "300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200"}};
    for (const auto &[arguments, named] : usageErrors) {
        const ProcessResult run = runProcess(sim, arguments);
        QCOMPARE(run.exitCode, 2);
        const QList<QByteArray> lines = run.err.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith("pc1600-sim: ") && lines[0].contains(named),
                 run.err.constData());
        QCOMPARE(lines[1], QByteArray("Try 'pc1600-sim --help' for more information."));
    }
}

// A listing written in any editor goes out as the PC-1600's bytes, or not at
// all when it holds a character the PC-1600 lacks.
void SimulatorTest::writesAListingFromUtf8()
{
    QString device;
    const auto sim = startSimulator({"--from-utf8", "--baud", "38400", "--pause-ms", "0",
                                     TESSARY_SAMPLES_DIR "/llist-pc1600-set.utf8.txt"},
                                    device);
    QVERIFY(sim);
    Serial serial;
    QVERIFY(openAt(serial, device, 38400));
    const QByteArray expected = pc1600SetFile();
    QByteArray received;
    QTRY_COMPARE_WITH_TIMEOUT((received += serial.readAll()).size(), expected.size(), 10000);
    QVERIFY(received == expected);

    const auto file = fileWith("10 REM Gr\xc3\xbc\xc3\x9f"
                               "e\n20 REM \xcf\x80\n30 REM 5 \xe2\x82\xac\n");
    QVERIFY(file);
    const ProcessResult refused =
        runProcess(QStringLiteral(PC1600_SIM_PATH), {"--from-utf8", file->fileName()});
    QCOMPARE(refused.exitCode, 2);
    QCOMPARE(refused.out, QByteArray()); // no device: nothing sent
    QCOMPARE(
        refused.err.split('\n').value(0),
        QByteArray("pc1600-sim: line 3: '\xe2\x82\xac' is not in the PC-1600's character set"));
}

// Whatever the port was left with, the simulator sends as it says it does.
void SimulatorTest::deviceIsSetTo8N1WithNoHandshake()
{
    Pty pty;
    termios left = *pty.slaveTermios();
    left.c_cflag = (left.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    left.c_iflag |= IXON | IXOFF | IXANY;
    QVERIFY(::tcsetattr(pty.slaveHandle(), TCSANOW, &left) == 0);
    const auto file = fileWith("10 END\r\n");
    QVERIFY(file);
    const ProcessResult run = runProcess(QStringLiteral(PC1600_SIM_PATH),
                                         {"--device", pty.slavePath(), file->fileName()});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(pty.readAvailable(), QByteArray("10 END\r\n"));
    const termios set = *pty.slaveTermios();
    QCOMPARE(set.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(set.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(0));
}

QTEST_GUILESS_MAIN(SimulatorTest)
#include "test_simulator.moc"
