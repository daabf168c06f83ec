#include "CaptureOptions.h"
#include "CaptureSession.h"
#include "JobStore.h"
#include "LiveLine.h"
#include "Outcome.h"
#include "support/FakePort.h"
#include "support/Files.h"

#include <QtTest>

namespace {
const QDateTime kStamp(QDate(2024, 3, 5), QTime(7, 8, 9));

CaptureOptions quietFor(int milliseconds)
{
    CaptureOptions options;
    options.port = QStringLiteral("/nowhere/fake");
    options.quietMs = milliseconds;
    return options;
}
} // namespace

// How tessary-capture cuts arrivals into jobs, on a port fed by hand.
class CaptureSessionTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void namedAfterItsFirstChunk();
    void bytesAtTheQuietTimeKeepTheJobGoing();
    void stopWhileBytesStillArrive();

private:
    QString dir() const { return m_dir->path(); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void CaptureSessionTest::namedAfterItsFirstChunk()
{
    FakePort port;
    JobStore store(dir(), false);
    LiveLine live(nullptr);
    Outcome outcome(live);
    const CaptureOptions options = quietFor(100);
    CaptureSession session(port, options, store, outcome);
    QDateTime now = kStamp;
    session.setClock([&now] { return now; });
    session.start();
    port.arrive("10 FIRST CHUNK\r\n");
    now = now.addMSecs(2500);
    port.arrive("20 SECOND CHUNK\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(namesIn(dir()), QStringList {"2024-03-05_07-08-09.txt"}, 10000);
    QCOMPARE(contentOf(dir() + "/2024-03-05_07-08-09.txt"),
             QByteArray("10 FIRST CHUNK\r\n20 SECOND CHUNK\r\n"));
}

// Bytes that come just as the quiet time runs out belong to the job still
// arriving: it goes on, and a later byte does not start a second one.
void CaptureSessionTest::bytesAtTheQuietTimeKeepTheJobGoing()
{
    constexpr int kQuietMs = 200;
    FakePort port;
    JobStore store(dir(), false);
    LiveLine live(nullptr);
    Outcome outcome(live);
    const CaptureOptions options = quietFor(kQuietMs);
    CaptureSession session(port, options, store, outcome);
    bool late = false;
    // The read that the quiet time's end makes finds "B" just in; "C"
    // follows well within the next quiet time.
    port.onRead = [&] {
        if (late || port.msSinceLastArrival() < kQuietMs / 2)
            return;
        late = true;
        port.arrive("B");
        QTimer::singleShot(kQuietMs / 4, [&port] { port.arrive("C"); });
    };
    session.start();
    port.arrive("A");
    const auto saved = [this] {
        QByteArray all;
        for (const QString &name : namesIn(dir()))
            all += contentOf(dir() + '/' + name);
        return all;
    };
    QTRY_COMPARE_WITH_TIMEOUT(saved().size(), 3, 10000);
    QVERIFY(late);
    QCOMPARE(namesIn(dir()).size(), 1);
    QCOMPARE(saved(), QByteArray("ABC"));
}

// What arrives while a stop waits for the line to go quiet goes into the job
// in progress: one file, never two, and the end comes once it is quiet.
void CaptureSessionTest::stopWhileBytesStillArrive()
{
    FakePort port;
    JobStore store(dir(), false);
    LiveLine live(nullptr);
    Outcome outcome(live);
    // A quiet time that never comes: only the stop ends the job.
    const CaptureOptions options = quietFor(600000);
    CaptureSession session(port, options, store, outcome);
    int status = -1;
    session.onEnd = [&status](int code) { status = code; };
    session.start();
    port.arrive("FIRST\r\n");
    session.stop();
    QList<QByteArray> more = {"SECOND\r\n", "THIRD\r\n", "AFTER THE STOP\r\n"};
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (!more.isEmpty())
            port.arrive(more.takeFirst());
    });
    feeder.start(100);
    QTRY_COMPARE_WITH_TIMEOUT(status, 0, 10000);
    QVERIFY(more.isEmpty());
    QCOMPARE(namesIn(dir()).size(), 1);
    QCOMPARE(contentOf(dir() + '/' + namesIn(dir())[0]),
             QByteArray("FIRST\r\nSECOND\r\nTHIRD\r\nAFTER THE STOP\r\n"));
}

QTEST_GUILESS_MAIN(CaptureSessionTest)
#include "test_capture_session.moc"
