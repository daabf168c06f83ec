#include "printjob/Capture.h"
#include "serial/Serial.h"
#include "support/CpuTime.h"
#include "support/FakeToolkit.h"
#include "support/Listings.h"
#include "support/Pty.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtTest>

namespace {

// A port that hands out a fixed series of reads.
class ScriptedPort : public ReceiveBuffer {
public:
    qint64 bytesAvailable() override
    {
        ++countCalls;
        return reads.isEmpty() ? 0 : reads.constFirst().size();
    }
    QByteArray readAll() override
    {
        ++readCalls;
        if (onRead)
            onRead();
        return reads.isEmpty() ? QByteArray() : reads.takeFirst();
    }
    qint64 msSinceLastArrival() override { return -1; }
    QList<QByteArray> reads;
    int countCalls = 0;
    int readCalls = 0;
    std::function<void()> onRead;
};

struct Services {
    RecordingMsgBox msgBox;
    RecordingBusy busy;
    CountingPause pause {false}; // the real 500 ms pause
    CountingYield yield;
    CaptureServices seams {msgBox, busy, pause, yield};
};

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray listingLine(int number)
{
    return QByteArray::number(number * 10) + " PRINT \"LINE " + QByteArray::number(number) +
        "\"\r\n";
}

// Writes lines on the pty at the given moments, counted from now.
void scheduleLines(Pty &pty, QObject *context, const QList<int> &atMs, int firstNumber,
                   QByteArray &sent)
{
    for (int i = 0; i < atMs.size(); ++i) {
        const QByteArray line = listingLine(firstNumber + i);
        sent += line;
        QTimer::singleShot(atMs[i], Qt::PreciseTimer, context,
                           [&pty, line] { QCOMPARE(pty.write(line), qint64(line.size())); });
    }
}

} // namespace

class CaptureTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noPortChosen();
    void nothingWaiting();
    void everythingReceivedBeforeThePress();
    void senderStillSendingMakesOneJob();
    void longGapLeavesTheRestForTheNextPress();
    void everyByteValueArrivesUnchanged();
    void senderVanishesDuringTheDrain();
    void noLimitOnTheNumberOfReads();

private:
    Pty *m_pty = nullptr;
    Serial *m_serial = nullptr;
};

void CaptureTest::init()
{
    m_pty = new Pty;
    QVERIFY(m_pty->isOpen());
    m_serial = new Serial;
    m_serial->setSerialPort({QStringLiteral("pty"), m_pty->slavePath()});
    QVERIFY(m_serial->open());
}

void CaptureTest::cleanup()
{
    delete m_serial;
    delete m_pty;
    m_serial = nullptr;
    m_pty = nullptr;
}

void CaptureTest::noPortChosen()
{
    ScriptedPort port;
    port.reads = {"waiting"};
    Services s;
    QCOMPARE(CaptureReceivedText(0, port, s.seams), std::nullopt);
    QCOMPARE(s.msgBox.shown, QStringList {QStringLiteral("Serieller Port nicht vorhanden !")});
    QVERIFY(s.busy.changes.isEmpty());
    QCOMPARE(port.countCalls + port.readCalls, 0);
    QCOMPARE(s.pause.count, 0);
}

void CaptureTest::nothingWaiting()
{
    Services s;
    QCOMPARE(CaptureReceivedText(1, *m_serial, s.seams), std::nullopt);
    QVERIFY(s.msgBox.shown.isEmpty());
    QVERIFY(s.busy.changes.isEmpty());
    QCOMPARE(s.pause.count, 0);
}

void CaptureTest::everythingReceivedBeforeThePress()
{
    const QByteArray listing = sampleFile();
    QVERIFY(!listing.isEmpty());
    QVERIFY(m_pty->writeAll(listing));

    Services s;
    QElapsedTimer clock;
    clock.start();
    const std::optional<QByteArray> text = CaptureReceivedText(3, *m_serial, s.seams);
    QVERIFY(text);
    QVERIFY(*text == listing);
    QCOMPARE(s.pause.count, 1);
    QCOMPARE(s.pause.lastMs, 500);
    QVERIFY(clock.elapsed() >= 450);
    QCOMPARE(s.busy.changes, (QList<bool> {true, false}));
    QVERIFY(s.msgBox.shown.isEmpty());
}

void CaptureTest::senderStillSendingMakesOneJob()
{
    // Lines 300 ms apart for 3.3 s: every 500 ms pause brings something.
    QList<int> at;
    for (int i = 1; i <= 11; ++i)
        at << i * 300;
    QByteArray sent = listingLine(0);
    m_pty->write(sent);
    QObject context;
    scheduleLines(*m_pty, &context, at, 1, sent);

    Services s;
    const std::optional<QByteArray> text = CaptureReceivedText(1, *m_serial, s.seams);
    QVERIFY(text);
    QCOMPARE(*text, sent);
    QVERIFY2(s.pause.count >= 6, qPrintable(QString::number(s.pause.count)));
}

void CaptureTest::longGapLeavesTheRestForTheNextPress()
{
    QByteArray first = listingLine(1);
    m_pty->write(first);
    QByteArray second;
    QObject context;
    scheduleLines(*m_pty, &context, {100, 200, 300}, 2, first);
    scheduleLines(*m_pty, &context, {2000, 2100}, 5, second);

    Services s;
    const std::optional<QByteArray> job1 = CaptureReceivedText(1, *m_serial, s.seams);
    QVERIFY(job1);
    QCOMPARE(*job1, first);

    runEventLoop(2400);
    const std::optional<QByteArray> job2 = CaptureReceivedText(1, *m_serial, s.seams);
    QVERIFY(job2);
    QCOMPARE(*job2, second);
    QCOMPARE(s.busy.changes, (QList<bool> {true, false, true, false}));
}

void CaptureTest::everyByteValueArrivesUnchanged()
{
    QByteArray all;
    for (int round = 0; round < 4; ++round) {
        for (int value = 0; value < 256; ++value)
            all += char(round % 2 ? 255 - value : value);
    }
    QVERIFY(m_pty->writeAll(all));

    Services s;
    const std::optional<QByteArray> text = CaptureReceivedText(1, *m_serial, s.seams);
    QVERIFY(text);
    QCOMPARE(text->size(), all.size());
    QVERIFY(*text == all);
}

void CaptureTest::senderVanishesDuringTheDrain()
{
    QByteArray sent = listingLine(1);
    m_pty->write(sent);
    QObject context;
    scheduleLines(*m_pty, &context, {150, 300, 450, 600}, 2, sent);
    // Unplugged a while after the last line, once the port has taken it in.
    QTimer::singleShot(900, &context, [this] { m_pty->closeMaster(); });

    Services s;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = processCpuSeconds();
    const std::optional<QByteArray> text = CaptureReceivedText(1, *m_serial, s.seams);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    qInfo("drain over the vanishing port: %lld ms, %.3f s CPU", clock.elapsed(), cpuUsed);

    QVERIFY(text);
    QCOMPARE(*text, sent);
    QVERIFY2(cpuUsed < 0.5, "the drain spins on the vanished port");
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(s.busy.changes, (QList<bool> {true, false}));
    QVERIFY(s.msgBox.shown.isEmpty());
    QVERIFY(!m_serial->isOpen());
}

void CaptureTest::noLimitOnTheNumberOfReads()
{
    ScriptedPort port;
    QByteArray expected;
    for (int i = 0; i < 450; ++i) {
        port.reads << listingLine(i);
        expected += port.reads.constLast();
    }
    Services s;
    CountingPause instant;
    CaptureServices seams {s.msgBox, s.busy, instant, s.yield};
    bool readWhileIdle = false;
    port.onRead = [&] { readWhileIdle |= !s.busy.busyNow; };

    const std::optional<QByteArray> text = CaptureReceivedText(1, port, seams);
    QVERIFY(text);
    QCOMPARE(*text, expected);
    QCOMPARE(port.readCalls, 451);
    QCOMPARE(instant.count, 450);
    QVERIFY2(!readWhileIdle, "the busy indicator was hidden during a read");
    QVERIFY(s.yield.count >= 450);
    QCOMPARE(s.busy.changes, (QList<bool> {true, false}));
}

QTEST_GUILESS_MAIN(CaptureTest)
#include "test_capture.moc"
