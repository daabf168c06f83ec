#include "CaptureSession.h"
#include "JobFiles.h"
#include "LiveLine.h"
#include "support/FakePort.h"
#include "support/Files.h"

#include <QtTest>

namespace {
const QDateTime kStamp(QDate(2024, 3, 5), QTime(7, 8, 9));

SessionSettings quietFor(int milliseconds)
{
    SessionSettings settings;
    settings.port = settings.portPath = QStringLiteral("/nowhere/fake");
    settings.quietMs = milliseconds;
    return settings;
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

private:
    QString dir() const { return m_dir->path(); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void CaptureSessionTest::namedAfterItsFirstChunk()
{
    FakePort port;
    JobFiles files(dir(), false);
    LiveLine live(nullptr);
    CaptureSession session(port, files, live, quietFor(100));
    QDateTime now = kStamp;
    session.clock = [&now] { return now; };
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
    JobFiles files(dir(), false);
    LiveLine live(nullptr);
    CaptureSession session(port, files, live, quietFor(kQuietMs));
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

QTEST_GUILESS_MAIN(CaptureSessionTest)
#include "test_capture_session.moc"
