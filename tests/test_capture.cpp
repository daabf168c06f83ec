#include "printjob/Capture.h"
#include "serial/Serial.h"
#include "support/CpuTime.h"
#include "support/FakeToolkit.h"
#include "support/Listings.h"
#include "support/ScriptedPort.h"
#include "support/SerialOnPty.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

namespace {

struct Services {
    RecordingMsgBox msgBox;
    RecordingBusy busy;
    CountingPause pause {false}; // the real pause
    CountingYield yield;
    CaptureServices seams {msgBox, busy, pause, yield};
};

// The drain on a scripted port whose clock only its pause moves.
struct ScriptedDrain {
    ScriptedPort port;
    RecordingMsgBox msgBox;
    RecordingBusy busy;
    CountingPause pause; // instant
    CountingYield yield;
    CaptureServices seams {msgBox, busy, pause, yield};
    QList<int> pausesMs;

    ScriptedDrain()
    {
        pause.onPause = [this](int) {
            pausesMs << pause.lastMs;
            port.advance(pause.lastMs);
        };
    }
    std::optional<QByteArray> press() { return CaptureReceivedText(1, port, seams); }
};

QByteArray listingLine(int number)
{
    return QByteArray::number(number * 10) + " PRINT \"LINE " + QByteArray::number(number) +
        "\"\r\n";
}

} // namespace

class CaptureTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noPortChosen();
    void nothingWaiting();
    void quietRuleCountsFromTheLastArrival_data();
    void quietRuleCountsFromTheLastArrival();
    void quietLineDrainsWithoutPausing();
    void pressRightAfterTheLastBytePausesForTheRestOfTheQuietTime();
    void senderStillSendingMakesOneJob();
    void longGapLeavesTheRestForTheNextPress();
    void everyByteValueArrivesUnchanged();
    void senderVanishesDuringTheDrain();
    void noLimitOnTheNumberOfReads();

private:
    // Writes lines on the pty at the given moments, counted from now,
    // numbered from firstNumber; `sent` gets them too. Each is on the
    // reader's side before its timer returns: timers fire in the order they
    // are due, so the drain's pause that ends later finds the line there,
    // however late a busy machine runs them.
    void sendLinesAt(const QList<int> &atMs, int firstNumber, QByteArray &sent, QObject *context);

    std::unique_ptr<SerialOnPty> m_link;
};

void CaptureTest::init()
{
    m_link = std::make_unique<SerialOnPty>();
    QVERIFY(m_link->open());
}

void CaptureTest::cleanup()
{
    m_link.reset();
}

void CaptureTest::sendLinesAt(const QList<int> &atMs, int firstNumber, QByteArray &sent,
                              QObject *context)
{
    for (int i = 0; i < atMs.size(); ++i) {
        const QByteArray line = listingLine(firstNumber + i);
        sent += line;
        QTimer::singleShot(atMs[i], Qt::PreciseTimer, context,
                           [this, line] { QVERIFY(m_link->pty.arrive(line)); });
    }
}

void CaptureTest::noPortChosen()
{
    ScriptedDrain d;
    d.port.arrive(-1000, "waiting");
    QCOMPARE(CaptureReceivedText(0, d.port, d.seams), std::nullopt);
    QCOMPARE(d.msgBox.shown, QStringList {QStringLiteral("Serieller Port nicht vorhanden !")});
    QVERIFY(d.busy.changes.isEmpty());
    QCOMPARE(d.port.countCalls + d.port.readCalls, 0);
    QCOMPARE(d.pause.count, 0);
}

void CaptureTest::nothingWaiting()
{
    Services s;
    QCOMPARE(CaptureReceivedText(1, m_link->serial, s.seams), std::nullopt);
    QVERIFY(s.msgBox.shown.isEmpty());
    QVERIFY(s.busy.changes.isEmpty());
    QCOMPARE(s.pause.count, 0);
}

// Arrival times (ms from the press, which comes at 0) of one line each; what
// the job takes, the pauses it makes, and when it ends.
void CaptureTest::quietRuleCountsFromTheLastArrival_data()
{
    QTest::addColumn<QList<qint64>>("arrivals");
    QTest::addColumn<int>("linesInJob");
    QTest::addColumn<QList<int>>("pauses");
    QTest::addColumn<qint64>("endMs");

    QTest::newRow("quiet for minutes")
        << QList<qint64> {-300000, -299000} << 2 << QList<int> {} << qint64(0);
    QTest::newRow("quiet exactly the pause")
        << QList<qint64> {-500} << 1 << QList<int> {} << qint64(0);
    QTest::newRow("last byte 200 ms ago")
        << QList<qint64> {-900, -200} << 2 << QList<int> {300} << qint64(300);
    QTest::newRow("last byte 499 ms ago")
        << QList<qint64> {-499} << 1 << QList<int> {1} << qint64(1);
    QTest::newRow("still sending, every 100 ms")
        << QList<qint64> {0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000} << 11
        << QList<int> {500, 500, 500} << qint64(1500);
    QTest::newRow("still sending, slowly") << QList<qint64> {0, 450, 900, 1350} << 4
                                           << QList<int> {500, 450, 450, 450} << qint64(1850);
    QTest::newRow("a gap of 499 ms stays in the job")
        << QList<qint64> {0, 499} << 2 << QList<int> {500, 499} << qint64(999);
    QTest::newRow("a gap of 501 ms ends the job")
        << QList<qint64> {0, 100, 601} << 2 << QList<int> {500, 100} << qint64(600);
    QTest::newRow("a line arriving in the last moment")
        << QList<qint64> {-400, 99} << 2 << QList<int> {100, 499} << qint64(599);
}

void CaptureTest::quietRuleCountsFromTheLastArrival()
{
    QFETCH(QList<qint64>, arrivals);
    QFETCH(int, linesInJob);
    QFETCH(QList<int>, pauses);
    QFETCH(qint64, endMs);

    ScriptedDrain d;
    QByteArray expected;
    for (int i = 0; i < arrivals.size(); ++i) {
        d.port.arrive(arrivals[i], listingLine(i));
        if (i < linesInJob)
            expected += listingLine(i);
    }
    const std::optional<QByteArray> text = d.press();
    QVERIFY(text);
    QCOMPARE(*text, expected);
    QCOMPARE(d.pausesMs, pauses);
    QCOMPARE(d.port.nowMs, endMs);
    // The job ended on an empty read with the line quiet for the whole pause.
    const qint64 lastInJob = std::max(arrivals[linesInJob - 1], qint64(0));
    QVERIFY(d.port.nowMs - arrivals[linesInJob - 1] >= kDrainPauseMs);
    QVERIFY(d.port.nowMs <= lastInJob + kDrainPauseMs);
    QCOMPARE(d.busy.changes, (QList<bool> {true, false}));

    // What came later waits for the next press.
    if (linesInJob < arrivals.size()) {
        d.port.nowMs = arrivals.constLast() + 1000;
        d.pausesMs.clear();
        QByteArray rest;
        for (int i = linesInJob; i < arrivals.size(); ++i)
            rest += listingLine(i);
        QCOMPARE(d.press(), std::optional<QByteArray>(rest));
        QVERIFY(d.pausesMs.isEmpty());
    }
}

void CaptureTest::quietLineDrainsWithoutPausing()
{
    const QByteArray listing = sampleFile();
    QVERIFY(!listing.isEmpty());
    QVERIFY(m_link->deliver(listing));
    QTRY_VERIFY(m_link->serial.msSinceLastArrival() >= kDrainPauseMs);

    Services s;
    const std::optional<QByteArray> text = CaptureReceivedText(3, m_link->serial, s.seams);
    QVERIFY(text);
    QVERIFY(*text == listing);
    QCOMPARE(s.pause.count, 0);
    QCOMPARE(s.busy.changes, (QList<bool> {true, false}));
    QVERIFY(s.msgBox.shown.isEmpty());
}

void CaptureTest::pressRightAfterTheLastBytePausesForTheRestOfTheQuietTime()
{
    const QByteArray listing = sampleFile();
    QVERIFY(m_link->deliver(listing));

    Services s;
    const std::optional<QByteArray> text = CaptureReceivedText(3, m_link->serial, s.seams);
    QVERIFY(text);
    QVERIFY(*text == listing);
    QVERIFY(s.pause.count >= 1);
    QVERIFY2(s.pause.lastMs <= kDrainPauseMs, qPrintable(QString::number(s.pause.lastMs)));
    // The quiet rule holds on the port's own clock: the job did not end
    // before the line had been quiet for the whole pause.
    QVERIFY(m_link->serial.msSinceLastArrival() >= kDrainPauseMs);
}

void CaptureTest::senderStillSendingMakesOneJob()
{
    // Lines 300 ms apart for 3.3 s: the line is never quiet for 500 ms.
    QList<int> at;
    for (int i = 1; i <= 11; ++i)
        at << i * 300;
    QByteArray sent = listingLine(0);
    QObject context;
    sendLinesAt(at, 1, sent, &context);
    QVERIFY(m_link->deliver(listingLine(0)));

    Services s;
    const std::optional<QByteArray> text = CaptureReceivedText(1, m_link->serial, s.seams);
    QVERIFY(text);
    QCOMPARE(*text, sent);
}

void CaptureTest::longGapLeavesTheRestForTheNextPress()
{
    QByteArray first = listingLine(1);
    QObject context;
    sendLinesAt({100, 200, 300}, 2, first, &context);
    QVERIFY(m_link->deliver(listingLine(1)));

    Services s;
    const std::optional<QByteArray> job1 = CaptureReceivedText(1, m_link->serial, s.seams);
    QVERIFY(job1);
    QCOMPARE(*job1, first);

    // More comes once the job has ended: it waits for the next press.
    const QByteArray second = listingLine(5) + listingLine(6);
    QVERIFY(m_link->deliver(second));
    const std::optional<QByteArray> job2 = CaptureReceivedText(1, m_link->serial, s.seams);
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
    QVERIFY(m_link->deliver(all));

    Services s;
    const std::optional<QByteArray> text = CaptureReceivedText(1, m_link->serial, s.seams);
    QVERIFY(text);
    QCOMPARE(text->size(), all.size());
    QVERIFY(*text == all);
}

void CaptureTest::senderVanishesDuringTheDrain()
{
    QByteArray sent = listingLine(1);
    QObject context;
    sendLinesAt({150, 300, 450, 600}, 2, sent, &context);
    QVERIFY(m_link->deliver(listingLine(1)));
    // Unplugged a while after the last line, once the port has taken it in.
    QTimer::singleShot(900, Qt::PreciseTimer, &context, [this] {
        m_link->serial.bytesAvailable();
        m_link->pty.closeMaster();
    });

    Services s;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = processCpuSeconds();
    const std::optional<QByteArray> text = CaptureReceivedText(1, m_link->serial, s.seams);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    qInfo("drain over the vanishing port: %lld ms, %.3f s CPU", clock.elapsed(), cpuUsed);

    QVERIFY(text);
    QCOMPARE(*text, sent);
    QVERIFY2(cpuUsed < 0.5, "the drain spins on the vanished port");
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(s.busy.changes, (QList<bool> {true, false}));
    QVERIFY(s.msgBox.shown.isEmpty());
    // Closed once the event loop has had a turn after the hang-up.
    QTRY_VERIFY(!m_link->serial.isOpen());
}

void CaptureTest::noLimitOnTheNumberOfReads()
{
    // A slow sender: one line every pause, far beyond any fixed list of reads.
    ScriptedDrain d;
    QByteArray expected;
    for (int i = 0; i < 450; ++i) {
        d.port.arrive(i * kDrainPauseMs, listingLine(i));
        expected += listingLine(i);
    }
    bool readWhileIdle = false;
    d.port.onRead = [&] { readWhileIdle |= !d.busy.busyNow; };

    const std::optional<QByteArray> text = d.press();
    QVERIFY(text);
    QCOMPARE(*text, expected);
    QCOMPARE(d.port.readCalls, 451);
    QCOMPARE(d.pause.count, 450);
    QVERIFY2(!readWhileIdle, "the busy indicator was hidden during a read");
    QVERIFY(d.yield.count >= 450);
    QCOMPARE(d.busy.changes, (QList<bool> {true, false}));
}

QTEST_GUILESS_MAIN(CaptureTest)
#include "test_capture.moc"
