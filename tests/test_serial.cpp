#include "serial/PortList.h"
#include "serial/Serial.h"
#include "support/CpuTime.h"
#include "support/Files.h"
#include "support/SerialOnPty.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <unistd.h>

namespace {

PortDescriptor portOf(const Pty &pty)
{
    return {pty.slavePath().section(QLatin1Char('/'), -1), pty.slavePath()};
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

} // namespace

class SerialTest : public QObject {
    Q_OBJECT

private slots:
    // The machine's ports only: none that a program of the user offers.
    void initTestCase() { qunsetenv("XDG_RUNTIME_DIR"); }
    void bytesHeldByTheSystemCountWithoutEventLoop();
    void bytesWrittenBeforeOpeningAreReceived();
    void bytesKeepCollectingWhileTheEventLoopRuns();
    void openErrors();
    void openingAnotherPortReleasesTheFirst();
    void dtrOnAPseudoTerminalDoesNotFailTheOpen();
    void vanishedPortIdlesAndKeepsItsBytes();
    void vanishedPortNoticedWhileReading();
    void reopenAfterVanishingReportsAnError();
    void closeIsHarmlessWhenClosed();
    void naturalOrderOfPortNames_data();
    void naturalOrderOfPortNames();
    void systemPortsAreInNaturalOrder();
    void portListIsInNaturalOrder();
    void byIdLinkNamesTheDevice();
    void arrivalTimeAndLossAreReported();
    void aReadBeforeThePortsOwnTurnIsNoLoss();
    void bytesPulledDuringAnArrivalAreAnArrival();
};

void SerialTest::bytesHeldByTheSystemCountWithoutEventLoop()
{
    SerialOnPty link;
    QVERIFY(link.open());

    QVERIFY(link.pty.arrive("30 bytes of an LLIST output..\n"));
    // No event loop has run since the write: the count must pull by itself.
    QCOMPARE(link.serial.bytesAvailable(), 30);
    QCOMPARE(link.serial.readAll(), QByteArray("30 bytes of an LLIST output..\n"));
    QCOMPARE(link.serial.bytesAvailable(), 0);
    QCOMPARE(link.serial.readAll(), QByteArray());
}

void SerialTest::bytesWrittenBeforeOpeningAreReceived()
{
    SerialOnPty link;
    QVERIFY(link.pty.arrive("early\r\n"));
    QVERIFY(link.open());
    QCOMPARE(link.serial.readAll(), QByteArray("early\r\n"));
}

void SerialTest::bytesKeepCollectingWhileTheEventLoopRuns()
{
    SerialOnPty link;
    QVERIFY(link.open());

    // Far more than the system's pty buffer: it only gets through if the
    // connection keeps taking bytes while the event loop runs.
    const QByteArray sent = pattern(200 * 1024);
    for (int at = 0; at < sent.size(); at += 10 * 1024)
        QVERIFY(link.pty.writeAll(sent.mid(at, 10 * 1024)));
    QTRY_COMPARE(link.serial.bytesAvailable(), qint64(sent.size()));
    const QByteArray received = link.serial.readAll();
    QCOMPARE(received.size(), sent.size());
    QVERIFY(received == sent);
}

void SerialTest::openErrors()
{
    Serial missing;
    missing.setSerialPort({QStringLiteral("ttyNONE"), QStringLiteral("/dev/ttyNONE-tessary")});
    QVERIFY(!missing.open());
    QVERIFY(!missing.isOpen());
    QCOMPARE(missing.lastErrorCode(), int(QSerialPort::DeviceNotFoundError));

    Pty pty;
    Serial first;
    first.setSerialPort(portOf(pty));
    QVERIFY(first.open());
    Serial second;
    second.setSerialPort(portOf(pty));
    QVERIFY(!second.open());
    QCOMPARE(second.lastErrorCode(), int(QSerialPort::PermissionError));

    // The failure leaves nothing behind: once the first lets go, it opens.
    first.close();
    QVERIFY(second.open());
    QCOMPARE(second.lastErrorCode(), int(QSerialPort::NoError));
}

void SerialTest::openingAnotherPortReleasesTheFirst()
{
    Pty a;
    Pty b;
    Serial serial;
    serial.setSerialPort(portOf(a));
    QVERIFY(serial.open());
    serial.setSerialPort(portOf(b));
    QVERIFY(serial.open());

    Serial other;
    other.setSerialPort(portOf(a));
    QVERIFY2(other.open(), "the first port is still held");

    QVERIFY(b.arrive("from b"));
    QVERIFY(a.arrive("from a"));
    QCOMPARE(serial.readAll(), QByteArray("from b"));
    QCOMPARE(other.readAll(), QByteArray("from a"));
}

void SerialTest::dtrOnAPseudoTerminalDoesNotFailTheOpen()
{
    SerialOnPty link;
    LineSettings settings = link.serial.lineSettings();
    settings.dtr = true;
    link.serial.setLineSettings(settings);
    QVERIFY(link.open());
    QCOMPARE(link.serial.lastErrorCode(), 0);
    QVERIFY(link.pty.arrive("still receiving"));
    QCOMPARE(link.serial.readAll(), QByteArray("still receiving"));
}

void SerialTest::vanishedPortIdlesAndKeepsItsBytes()
{
    SerialOnPty link;
    QVERIFY(link.open());

    const QByteArray sent = pattern(3000);
    QVERIFY(link.pty.writeAll(sent));
    // Unplugged once the port has taken the bytes in.
    QTRY_COMPARE(link.serial.bytesAvailable(), qint64(sent.size()));
    link.pty.closeMaster();
    QTRY_VERIFY(link.serial.isLost());

    const double cpuBefore = processCpuSeconds();
    runEventLoop(1000);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    qInfo("CPU time in 1 s of idling after the hang-up: %.3f s", cpuUsed);
    QVERIFY2(cpuUsed < 0.3, "the event loop spins on the vanished port");

    QVERIFY(!link.serial.isOpen());
    QCOMPARE(link.serial.bytesAvailable(), qint64(sent.size()));
    QVERIFY(link.serial.readAll() == sent);
    QCOMPARE(link.serial.readAll(), QByteArray());
    QCOMPARE(link.serial.bytesAvailable(), 0);
}

void SerialTest::vanishedPortNoticedWhileReading()
{
    SerialOnPty link;
    QVERIFY(link.open());

    int losses = 0;
    link.serial.setLostHandler([&] { ++losses; });
    QVERIFY(link.pty.arrive("before the hang-up"));
    QCOMPARE(link.serial.bytesAvailable(), 18);
    link.pty.closeMaster();

    // No event loop: the reads themselves meet the hang-up.
    QCOMPARE(link.serial.bytesAvailable(), 18);
    QCOMPARE(link.serial.readAll(), QByteArray("before the hang-up"));
    QCOMPARE(link.serial.readAll(), QByteArray());
    QVERIFY(!link.serial.isOpen());
    // Told once the event loop turns, with nothing more to read.
    QTRY_COMPARE(losses, 1);
    QCOMPARE(link.serial.readAll(), QByteArray());
}

void SerialTest::reopenAfterVanishingReportsAnError()
{
    SerialOnPty link;
    QVERIFY(link.open());
    link.pty.closeMaster();
    QTRY_VERIFY(link.serial.isLost());

    const bool reopened = link.serial.open();
    qInfo("reopening the slave of a closed master: %s, error code %d",
          reopened ? "opened" : "failed", link.serial.lastErrorCode());
    if (reopened) {
        // Then it must at least not hand out anything or hang.
        QCOMPARE(link.serial.readAll(), QByteArray());
    } else {
        QVERIFY(link.serial.lastErrorCode() != 0);
        QVERIFY(!link.serial.isOpen());
    }
}

void SerialTest::closeIsHarmlessWhenClosed()
{
    Serial serial;
    serial.close();
    QVERIFY(!serial.isOpen());
    QCOMPARE(serial.bytesAvailable(), 0);
    QCOMPARE(serial.readAll(), QByteArray());

    Pty pty;
    serial.setSerialPort(portOf(pty));
    QVERIFY(serial.open());
    serial.close();
    serial.close();
    QVERIFY(!serial.isOpen());
    QVERIFY(serial.open());
}

void SerialTest::naturalOrderOfPortNames_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("less");
    QTest::newRow("ttyS2 < ttyS10") << "ttyS2"
                                    << "ttyS10" << true;
    QTest::newRow("ttyS10 > ttyS2") << "ttyS10"
                                    << "ttyS2" << false;
    QTest::newRow("ttyUSB0 < ttyUSB1") << "ttyUSB0"
                                       << "ttyUSB1" << true;
    QTest::newRow("ttyS9 < ttyUSB0") << "ttyS9"
                                     << "ttyUSB0" << true;
    QTest::newRow("ttyACM0 < ttyS0") << "ttyACM0"
                                     << "ttyS0" << true;
    QTest::newRow("equal") << "ttyS1"
                           << "ttyS1" << false;
    QTest::newRow("prefix first") << "ttyS"
                                  << "ttyS0" << true;
    QTest::newRow("large numbers") << "ttyS99999999999999999998"
                                   << "ttyS99999999999999999999" << true;
    QTest::newRow("two runs") << "port1-2"
                              << "port1-10" << true;
}

void SerialTest::naturalOrderOfPortNames()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, less);
    QCOMPARE(naturalLess(a, b), less);
}

void SerialTest::systemPortsAreInNaturalOrder()
{
    const QVector<PortDescriptor> ports = SystemPortEnumerator().ports();
    qInfo("%lld serial ports listed", qlonglong(ports.size()));
    QVERIFY(std::is_sorted(ports.begin(), ports.end(),
                           [](const PortDescriptor &x, const PortDescriptor &y) {
                               return naturalLess(x.name, y.name);
                           }));
    for (const PortDescriptor &port : ports) {
        QVERIFY(!port.name.isEmpty());
        QVERIFY(port.location.endsWith(port.name));
    }
}

// A read inside the arrival notice pulls what came since; that is an
// arrival too, or a sender faster than the reader would look quiet and a
// job be cut while its bytes still stream in.
void SerialTest::bytesPulledDuringAnArrivalAreAnArrival()
{
    SerialOnPty link;
    QByteArray received;
    bool first = true;
    link.serial.setArrivalHandler([&] {
        if (std::exchange(first, false)) {
            QCOMPARE(link.pty.write("20 END\r\n"), 8);
            QThread::msleep(1100);
        }
        received += link.serial.readAll();
    });
    QVERIFY(link.open());
    QVERIFY(link.pty.arrive("10 PRINT\r\n"));
    QTRY_COMPARE(received, QByteArray("10 PRINT\r\n20 END\r\n"));
    QVERIFY2(link.serial.msSinceLastArrival() < 1000,
             qPrintable(QString::number(link.serial.msSinceLastArrival())));
}

QTEST_GUILESS_MAIN(SerialTest)
#include "test_serial.moc"

void SerialTest::portListIsInNaturalOrder()
{
    const auto named = [](const QStringList &names) {
        QVector<PortDescriptor> ports;
        for (const QString &name : names)
            ports.append({name, "/dev/" + name});
        return ports;
    };
    const SystemPortEnumerator enumerator([&] {
        return named({"ttyS10", "ttyS2", "ttyUSB0", "ttyS1", "ttyACM0"});
    });
    QCOMPARE(enumerator.ports(), named({"ttyACM0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB0"}));

    // Offered ports come after the machine's, whatever their names.
    PortDescriptor offered("PC-1600 simulator (/dev/pts/9)", "/dev/pts/9");
    offered.offered = true;
    const SystemPortEnumerator withOffered(
        [&] {
            return named({"ttyUSB0", "ttyS1"});
        },
        [&] { return QVector<PortDescriptor> {offered}; });
    QCOMPARE(withOffered.ports(), named({"ttyS1", "ttyUSB0"}) << offered);
}

void SerialTest::byIdLinkNamesTheDevice()
{
    QTemporaryDir dir;
    Pty pty;
    const QString link = dir.filePath(QStringLiteral("usb-FTDI_FT232R_A600-if00-port0"));
    QVERIFY(QFile::link(pty.slavePath(), link));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("other"))));
    QCOMPARE(byIdLinkFor(pty.slavePath(), dir.path()), link);
    QCOMPARE(byIdLinkFor(QStringLiteral("/dev/zero"), dir.path()), QString());
    QCOMPARE(byIdLinkFor(QStringLiteral("/dev/ttyNONE-tessary"), dir.path()), QString());
}

// The quiet time counts from the bytes' arrival, not from their reading;
// a hang-up is told once, on the event loop.
void SerialTest::arrivalTimeAndLossAreReported()
{
    SerialOnPty link;
    int arrivals = 0;
    int losses = 0;
    link.serial.setArrivalHandler([&] { ++arrivals; });
    link.serial.setLostHandler([&] { ++losses; });
    QVERIFY(link.open());
    QCOMPARE(link.serial.msSinceLastArrival(), -1);

    link.pty.write("10 PRINT\r\n");
    QTRY_VERIFY(arrivals > 0);
    QTRY_VERIFY(link.serial.msSinceLastArrival() >= 1000);
    QCOMPARE(link.serial.readAll(), QByteArray("10 PRINT\r\n"));
    QVERIFY(link.serial.msSinceLastArrival() >= 1000);

    // New bytes count from their own arrival, noted by the question itself
    // when no event loop has run: the time is then shorter than the clock
    // started before they were written.
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    QVERIFY(link.pty.arrive("20 END\r\n"));
    const qint64 quietMs = link.serial.msSinceLastArrival();
    QVERIFY2(quietMs <= sinceWrite.elapsed(), qPrintable(QString::number(quietMs)));

    QVERIFY(!link.serial.isLost());
    link.pty.closeMaster();
    QTRY_COMPARE(losses, 1);
    // Once: more turns of the event loop tell nothing more.
    for (int turn = 0; turn < 10; ++turn)
        QCoreApplication::processEvents();
    QCOMPARE(losses, 1);
    QVERIFY(link.serial.isLost());
    QVERIFY(!link.serial.isOpen());
    QCOMPARE(link.serial.readAll(), QByteArray("20 END\r\n"));
    link.serial.close();
    QVERIFY(!link.serial.isLost());
    QCOMPARE(link.serial.msSinceLastArrival(), -1);
}

// A handler that reads in the same turn of the event loop as the port's own
// notification (a signal's, a timer's) leaves that notification nothing to
// read: the port is not lost for it, and no byte is.
void SerialTest::aReadBeforeThePortsOwnTurnIsNoLoss()
{
    int pipeEnds[2];
    QVERIFY(::pipe(pipeEnds) == 0);
    SerialOnPty link;
    QByteArray received;
    // Registered before the port opens, so it is told first.
    QSocketNotifier first(pipeEnds[0], QSocketNotifier::Read);
    QObject::connect(&first, &QSocketNotifier::activated, [&] {
        char byte;
        if (::read(pipeEnds[0], &byte, 1) == 1)
            received += link.serial.readAll();
    });
    link.serial.setArrivalHandler([&] { received += link.serial.readAll(); });
    QVERIFY(link.open());
    QVERIFY(link.pty.arrive("10 PRINT\r\n"));
    QCOMPARE(::write(pipeEnds[1], "x", 1), 1);
    QTRY_COMPARE(received, QByteArray("10 PRINT\r\n"));
    QCoreApplication::processEvents();
    QVERIFY(!link.serial.isLost());
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}
