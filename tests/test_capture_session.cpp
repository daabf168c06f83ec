#include "CaptureOptions.h"
#include "CaptureSession.h"
#include "JobCutter.h"
#include "JobStore.h"
#include "LiveLine.h"
#include "Outcome.h"
#include "PortFollower.h"
#include "support/FakePort.h"
#include "support/Files.h"
#include "support/Pty.h"

#include <QtTest>

#include <cstdio>

namespace {
const QDateTime kStamp(QDate(2024, 3, 5), QTime(7, 8, 9));
const QString kProgram = QStringLiteral("test_capture_session: ");

// A session on a port fed by hand, saving into `dir`, its lines written to
// a file the test reads back.
struct Rig {
    Rig(const QString &dir, int quietMs, const QString &portPath = QStringLiteral("/nowhere/fake"))
        : store(dir, false)
    {
        options.port = portPath;
        options.quietMs = quietMs;
        session = std::make_unique<CaptureSession>(port, options, CaptureParts {store, outcome});
        session->onEnd = [this](int code, bool) { status = code; };
    }
    ~Rig() { std::fclose(err); }

    // Each line told so far.
    QStringList lines() { return linesWrittenTo(err); }

    FakePort port;
    JobStore store;
    LiveLine live {nullptr};
    std::FILE *err = std::tmpfile();
    Outcome outcome {live, err};
    CaptureOptions options;
    std::unique_ptr<CaptureSession> session;
    int status = -1;
};
} // namespace

// How tessary-capture cuts arrivals into jobs and follows its port, on a
// port fed by hand.
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
    void portLostMidJobAndBack();
    void terminalThatHungUpEndsTheCapture();
    void linkToATerminalThatHungUpIsNotReopened();
    void stopCutShortKeepsWhatArrived();
    void linkMadeAgainIsThePortBack_data();
    void linkMadeAgainIsThePortBack();
    void portMissingAtTheStartIsWaitedFor();

private:
    QString dir() const { return m_dir->path(); }
    // Everything saved, in name order.
    QByteArray saved() const
    {
        QByteArray all;
        for (const QString &name : namesIn(dir()))
            all += contentOf(dir() + '/' + name);
        return all;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void CaptureSessionTest::namedAfterItsFirstChunk()
{
    Rig rig(dir(), 100);
    QDateTime now = kStamp;
    rig.session->setClock([&now] { return now; });
    rig.session->start();
    rig.port.arrive("10 FIRST CHUNK\r\n");
    now = now.addMSecs(2500);
    rig.port.arrive("20 SECOND CHUNK\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(namesIn(dir()), QStringList {"2024-03-05_07-08-09.txt"}, 10000);
    QCOMPARE(contentOf(dir() + "/2024-03-05_07-08-09.txt"),
             QByteArray("10 FIRST CHUNK\r\n20 SECOND CHUNK\r\n"));
}

// Bytes that come just as the quiet time runs out belong to the job still
// arriving: it goes on, and a later byte does not start a second one.
void CaptureSessionTest::bytesAtTheQuietTimeKeepTheJobGoing()
{
    constexpr int kQuietMs = 200;
    Rig rig(dir(), kQuietMs);
    FakePort &port = rig.port;
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
    rig.session->start();
    port.arrive("A");
    QTRY_COMPARE_WITH_TIMEOUT(saved().size(), 3, 10000);
    QVERIFY(late);
    QCOMPARE(namesIn(dir()).size(), 1);
    QCOMPARE(saved(), QByteArray("ABC"));
}

// What arrives while a stop waits for the line to go quiet goes into the job
// in progress: one file, never two, and the end comes once it is quiet.
void CaptureSessionTest::stopWhileBytesStillArrive()
{
    // A quiet time that never comes: only the stop ends the job.
    Rig rig(dir(), 600000);
    rig.session->start();
    rig.port.arrive("FIRST\r\n");
    rig.session->stop();
    QList<QByteArray> more = {"SECOND\r\n", "THIRD\r\n", "AFTER THE STOP\r\n"};
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (!more.isEmpty())
            rig.port.arrive(more.takeFirst());
    });
    feeder.start(100);
    QTRY_COMPARE_WITH_TIMEOUT(rig.status, 0, 10000);
    QVERIFY(more.isEmpty());
    QCOMPARE(namesIn(dir()).size(), 1);
    QCOMPARE(saved(), QByteArray("FIRST\r\nSECOND\r\nTHIRD\r\nAFTER THE STOP\r\n"));
}

// An adapter pulled out mid-job: what came is saved at once, one message
// says so, and once the path opens again the capture goes on.
void CaptureSessionTest::portLostMidJobAndBack()
{
    // A character device that is no terminal, as an adapter's is.
    Rig rig(dir(), 600000, QStringLiteral("/dev/null"));
    rig.session->start();
    rig.port.openWorks = false;
    rig.port.arrive("10 BEFORE\r\n");
    rig.port.lose();
    QCOMPARE(saved(), QByteArray("10 BEFORE\r\n"));
    // Tried again while it will not open, quietly after one message.
    QTRY_VERIFY_WITH_TIMEOUT(rig.port.opens >= 2, 10000);
    rig.port.openWorks = true;
    QTRY_VERIFY_WITH_TIMEOUT(rig.port.isOpen(), 10000);
    rig.port.arrive("20 AFTER\r\n");
    rig.session->stop();
    QTRY_COMPARE_WITH_TIMEOUT(rig.status, 0, 10000);
    QCOMPARE(namesIn(dir()).size(), 2);
    QCOMPARE(saved(), QByteArray("10 BEFORE\r\n20 AFTER\r\n"));
    const QStringList lines = rig.lines();
    QCOMPARE(lines.size(), 5);
    QVERIFY2(lines[0].endsWith(": 11 bytes, 1 line, 1 page"), qPrintable(lines[0]));
    QCOMPARE(lines[1], kProgram + "/dev/null: the port is gone; waiting for it to come back");
    QCOMPARE(lines[2],
             kProgram +
                 "/dev/null: it does not open: Device or resource busy (error 2: No permission to "
                 "open the device, or another program holds it.); join the dialout group (sudo "
                 "usermod -aG dialout USER, then log in again), or close the other program that "
                 "holds the port; tried again every second");
    QCOMPARE(lines[3], kProgram + "/dev/null: open again");
}

// A pseudo-terminal named by its own path never comes back: its job is
// saved and the capture ends.
void CaptureSessionTest::terminalThatHungUpEndsTheCapture()
{
    Pty pty;
    Rig rig(dir(), 600000, pty.slavePath());
    rig.session->start();
    rig.port.arrive("10 PART\r\n");
    rig.port.lose();
    QTRY_COMPARE_WITH_TIMEOUT(rig.status, 0, 10000);
    QCOMPARE(saved(), QByteArray("10 PART\r\n"));
    QCOMPARE(rig.port.opens, 0);
    QCOMPARE(rig.lines().last(),
             kProgram + pty.slavePath() +
                 ": the pseudo-terminal hung up; it never comes back, so the "
                 "capture ends");
}

// Behind a link, a terminal that hung up is waited for, but its number
// belongs to whichever terminal opens next: never taken for the port. The
// link moved to another terminal is.
void CaptureSessionTest::linkToATerminalThatHungUpIsNotReopened()
{
    Pty first;
    const QString link = dir() + QStringLiteral("/ttyPC1600");
    QVERIFY(QFile::link(first.slavePath(), link));
    Rig rig(dir() + QStringLiteral("/jobs"), 600000, link);
    rig.session->start();
    rig.port.lose();
    // Three tries' time, each of which would open what the link names.
    runEventLoop(3500);
    QCOMPARE(rig.port.opens, 0);
    Pty second;
    QVERIFY(QFile::remove(link) && QFile::link(second.slavePath(), link));
    QTRY_COMPARE_WITH_TIMEOUT(rig.port.opens, 1, 10000);
    QCOMPARE(rig.lines(),
             (QStringList {kProgram + link +
                               ": the port is gone; waiting for it to "
                               "come back",
                           kProgram + link + ": open again"}));
}

// A stop whose job never goes quiet ends at its limit with every byte that
// arrived, also those not read yet.
void CaptureSessionTest::stopCutShortKeepsWhatArrived()
{
    FakePort port; // no arrival handler: bytes wait until the cutter reads
    JobCutter cutter(port, 60000);
    QByteArray sent = "10 REM\r\n";
    port.arrive(sent);
    cutter.take();
    QTimer stream;
    QObject::connect(&stream, &QTimer::timeout, [&] {
        sent += "20 REM\r\n";
        port.arrive("20 REM\r\n");
    });
    stream.start(50);
    std::optional<Job> last;
    bool cutShort = false;
    cutter.finish(2000, 1000, [&](const Job &job, bool cut) {
        last = job;
        cutShort = cut;
        stream.stop();
    });
    QTRY_VERIFY_WITH_TIMEOUT(last, 10000);
    QVERIFY(cutShort);
    QVERIFY(sent.size() > 9);
    QCOMPARE(last->bytes, sent);
}

// A terminal behind a link hangs up, and the next terminal takes its number:
// only a link made again, or moved, makes that the port.
void CaptureSessionTest::linkMadeAgainIsThePortBack_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("opened");
    QTest::newRow("the same link, a stranger on the number") << "same" << false;
    QTest::newRow("made again on the same number") << "again" << true;
    QTest::newRow("moved to another terminal") << "moved" << true;
}
void CaptureSessionTest::linkMadeAgainIsThePortBack()
{
    QFETCH(QString, how);
    QFETCH(bool, opened);
    auto first = std::make_unique<Pty>();
    const QString number = first->slavePath();
    const QString link = dir() + QStringLiteral("/ttyPC1600");
    QVERIFY(QFile::link(number, link));
    FakePort port;
    PortFollower follower(port, link);
    follower.start();
    // socat removes its link as it ends, before the loss is noticed.
    if (how != QLatin1String("same"))
        QVERIFY(QFile::remove(link));
    port.lose();
    follower.portLost();
    QCOMPARE(follower.state(), PortFollower::State::Gone);
    first.reset();
    // The kernel hands the freed number to the next terminal opened.
    std::vector<std::unique_ptr<Pty>> others;
    while (others.size() < 20 && (others.empty() || others.back()->slavePath() != number))
        others.push_back(std::make_unique<Pty>());
    QCOMPARE(others.back()->slavePath(), number);
    const Pty other;
    if (how != QLatin1String("same"))
        QVERIFY(QFile::link(how == QLatin1String("moved") ? other.slavePath() : number, link));
    runEventLoop(2500);
    QCOMPARE(port.opens, opened ? 1 : 0);
}

// A port not there at the start is waited for and opened once it comes.
void CaptureSessionTest::portMissingAtTheStartIsWaitedFor()
{
    const QString path = dir() + QStringLiteral("/ttyLater");
    FakePort port;
    port.close();
    QStringList said;
    PortFollower follower(port, path);
    follower.say = [&](const QString &text, Priority) { said << text; };
    follower.start(false);
    QCOMPARE(follower.state(), PortFollower::State::Gone);
    Pty pty;
    QVERIFY(QFile::link(pty.slavePath(), path));
    QTRY_COMPARE_WITH_TIMEOUT(follower.state(), PortFollower::State::Open, 10000);
    QCOMPARE(said, (QStringList {path + ": no such device; waiting for it", path + ": open"}));
}

QTEST_GUILESS_MAIN(CaptureSessionTest)
#include "test_capture_session.moc"
