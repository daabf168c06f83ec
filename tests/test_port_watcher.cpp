#include "serial/PortWatcher.h"

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

// The watch on the device folders, tried on folders of the test's own.
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
        SystemPortWatcher system;
        QVERIFY(system.watchedFolders().contains(QStringLiteral("/dev")));
        QCOMPARE(system.watchedFolders().contains(QStringLiteral("/dev/serial/by-id")),
                 QDir(QStringLiteral("/dev/serial/by-id")).exists());
    }

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

QTEST_GUILESS_MAIN(PortWatcherTest)
#include "test_port_watcher.moc"
