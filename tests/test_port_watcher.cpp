#include "serial/OfferedPorts.h"
#include "serial/PortWatcher.h"
#include "support/Process.h"
#include "support/Pty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kSettleMs = 100;
// Long enough that a check of it asserts no time tighter than a second.
constexpr int kLongSettleMs = 1000;

bool touch(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

} // namespace

// The port list following the system: the watch on the device folders,
// tried on folders of the test's own, and which offered ports are listed.
class PortWatcherTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dev = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dev->isValid());
        m_byId = m_dev->filePath(QStringLiteral("serial/by-id"));
        watch(kSettleMs);
    }
    void cleanup()
    {
        m_watcher.reset();
        m_dev.reset();
    }

    void deviceThatComesAndGoesIsTold_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("node created") << "create";
        QTest::newRow("node removed") << "remove";
        QTest::newRow("node renamed") << "rename";
        QTest::newRow("permissions set late") << "chmod";
    }
    void deviceThatComesAndGoesIsTold()
    {
        QFETCH(QString, change);
        watch(kLongSettleMs);
        const QString node = m_dev->filePath(QStringLiteral("ttyUSB0"));
        if (change != QLatin1String("create")) {
            QVERIFY(touch(node));
            QTRY_COMPARE_WITH_TIMEOUT(m_told, 1, 10000);
            m_told = 0;
        }
        m_clock.start();
        if (change == QLatin1String("create"))
            QVERIFY(touch(node));
        else if (change == QLatin1String("remove"))
            QVERIFY(QFile::remove(node));
        else if (change == QLatin1String("rename"))
            QVERIFY(QFile::rename(node, m_dev->filePath(QStringLiteral("ttyUSB1"))));
        else
            QVERIFY(QFile::setPermissions(node, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QTRY_COMPARE_WITH_TIMEOUT(m_told, 1, 10000);
        // Only once the system has had its moment to settle: the clock
        // started before the change, so load can only make this later.
        QVERIFY2(m_toldAfterMs >= kLongSettleMs, qPrintable(QString::number(m_toldAfterMs)));
    }

    // udev makes the node, then its links and permissions, within moments:
    // one refresh for all of it.
    void burstOfChangesIsToldOnce()
    {
        for (int i = 0; i < 5; ++i)
            QVERIFY(touch(m_dev->filePath(QStringLiteral("ttyACM%1").arg(i))));
        QTRY_VERIFY(m_told >= 1);
        // A later change is told on its own: its news comes after all of
        // the burst's, so a burst told more than once shows here.
        QVERIFY(touch(m_dev->filePath(QStringLiteral("ttyACM9"))));
        QTRY_VERIFY(m_told >= 2);
        QCOMPARE(m_told, 2);
    }

    // The by-id folder appears with the first adapter; from then on its
    // links are watched too.
    void foldersThatAppearLaterAreWatched()
    {
        QVERIFY(!m_watcher->watchedFolders().contains(m_byId));
        QVERIFY(QDir(m_dev->path()).mkpath(m_byId));
        QTRY_VERIFY(m_watcher->watchedFolders().contains(m_byId));
        QTRY_VERIFY(m_told >= 1);

        m_told = 0;
        QVERIFY(
            QFile::link(QStringLiteral("../../ttyUSB0"),
                        m_byId + QStringLiteral("/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0")));
        QTRY_COMPARE(m_told, 1);
    }

    void quietFoldersTellNothing()
    {
        // Reading the folder and opening a node change nothing.
        QVERIFY(touch(m_dev->filePath(QStringLiteral("ttyS0"))));
        QTRY_COMPARE(m_told, 1);
        QDir(m_dev->path()).entryList();
        QFile node(m_dev->filePath(QStringLiteral("ttyS0")));
        QVERIFY(node.open(QIODevice::ReadOnly));
        node.close();
        QTest::qWait(3 * kSettleMs);
        QCOMPARE(m_told, 1);
    }

    void theSystemsFoldersAreWatched()
    {
        // The folder of offered ports comes with the first simulator.
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const QString offered = runtime.filePath(QStringLiteral("tessary/ports"));
        SystemPortWatcher system;
        QVERIFY(system.watchedFolders().contains(QStringLiteral("/dev")));
        QVERIFY(system.watchedFolders().contains(QStringLiteral("/dev/pts")));
        QCOMPARE(system.watchedFolders().contains(QStringLiteral("/dev/serial/by-id")),
                 QDir(QStringLiteral("/dev/serial/by-id")).exists());
        QVERIFY(!system.watchedFolders().contains(offered));
        QVERIFY(QDir().mkpath(offered));
        QTRY_VERIFY(system.watchedFolders().contains(offered));
    }

    void offeredPortsListed_data();
    void offeredPortsListed();

private:
    // Watches the test's folders, settling for that long.
    void watch(int settleMs)
    {
        m_watcher = std::make_unique<SystemPortWatcher>(
            QStringList {m_dev->path(), m_dev->filePath(QStringLiteral("serial")), m_byId},
            settleMs);
        m_told = 0;
        m_watcher->setChangeHandler([this] {
            ++m_told;
            m_toldAfterMs = m_clock.elapsed();
        });
    }

    std::unique_ptr<QTemporaryDir> m_dev;
    std::unique_ptr<SystemPortWatcher> m_watcher;
    QString m_byId;
    QElapsedTimer m_clock;
    int m_told = 0;
    qint64 m_toldAfterMs = -1;
};

// Which ports offered in the user's runtime folder are listed, tried with
// the real simulator in a runtime folder of the test's own.
void PortWatcherTest::offeredPortsListed_data()
{
    QTest::addColumn<int>("signal"); // ends the simulator
    QTest::addColumn<QString>("target"); // where its link is made to lead instead
    QTest::addColumn<QString>("folder"); // what becomes of the folder
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("linkLeft");
    QTest::newRow("a running simulator") << 0 << ""
                                         << "" << true << true;
    // Its terminal's number handed to another terminal, as the system does.
    QTest::newRow("a killed simulator's link") << SIGKILL << "terminal"
                                               << "" << false << true;
    QTest::newRow("a simulator ended by SIGTERM") << SIGTERM << ""
                                                  << "" << false << false;
    QTest::newRow("a simulator ended by SIGINT") << SIGINT << ""
                                                 << "" << false << false;
    // Under a running simulator, which holds the lock.
    QTest::newRow("a link to a regular file") << 0 << TESSARY_SAMPLES_DIR "/llist-sample.txt"
                                              << "" << false << true;
    QTest::newRow("a link to /dev/null") << 0 << "/dev/null"
                                         << "" << false << true;
    QTest::newRow("a folder open to others") << 0 << ""
                                             << "loose" << false << true;
    QTest::newRow("a folder of another user") << 0 << ""
                                              << "another user's" << false << true;
}

void PortWatcherTest::offeredPortsListed()
{
    QFETCH(int, signal);
    QFETCH(QString, target);
    QFETCH(QString, folder);
    QFETCH(bool, listed);
    QFETCH(bool, linkLeft);
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString ports = runtime.filePath(QStringLiteral("tessary/ports"));

    QString device;
    const auto sim = startSimulator({"--pty", TESSARY_SAMPLES_DIR "/llist-sample.txt"}, device);
    QVERIFY(sim);
    const QString link = ports + QStringLiteral("/PC-1600 simulator.pts") + device.section('/', -1);
    QVERIFY(QFileInfo(link).isSymLink());
    if (signal != 0) {
        QCOMPARE(sim->stop(signal), -1);
        QCOMPARE(sim->exitStatus(), QProcess::CrashExit);
    }
    Pty another;
    if (!target.isEmpty()) {
        QVERIFY(QFile::remove(link));
        QVERIFY(
            QFile::link(target == QLatin1String("terminal") ? another.slavePath() : target, link));
    }
    if (folder == QLatin1String("loose"))
        QVERIFY(QFile::setPermissions(ports, QFile::permissions(ports) | QFileDevice::ReadOther));
    if (folder == QLatin1String("another user's") && ::geteuid() != 0)
        QSKIP("only root can give the folder to another user");
    if (folder == QLatin1String("another user's"))
        QCOMPARE(::chown(QFile::encodeName(ports).constData(), 65534, gid_t(-1)), 0);

    QCOMPARE(QFileInfo(link).isSymLink(), linkLeft);
    PortDescriptor expected(QStringLiteral("PC-1600 simulator (%1)").arg(device), device,
                            QStringLiteral("PC-1600 simulator"));
    expected.offered = true;
    QCOMPARE(offeredPorts(),
             listed ? QVector<PortDescriptor> {expected} : QVector<PortDescriptor>());
}

QTEST_GUILESS_MAIN(PortWatcherTest)
#include "test_port_watcher.moc"
