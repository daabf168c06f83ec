#include "AtomicFile.h"
#include "SignalPath.h"
#include "support/Files.h"

#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

enum class Ending { Signal, RemoveTemporaryFiles };

struct Run {
    int registered; // opened with removedOnSignal
    int plain; // opened without
    int committed; // of the registered ones, before the end
    int threads; // that open the registered ones at once
    Ending ending;
};

// Opens the files in a child process and ends it as the run says; the wait
// status.
int runChild(const QString &dir, const Run &run)
{
    const pid_t child = ::fork();
    if (child != 0) {
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child ? status : -1;
    }
    const SignalPath signalPath;
    std::vector<std::unique_ptr<AtomicFile>> files;
    for (int i = 0; i < run.registered + run.plain; ++i)
        files.push_back(std::make_unique<AtomicFile>(
            dir + (i < run.registered ? "/registered-XXXXXX" : "/plain-XXXXXX")));
    std::vector<std::thread> openers;
    for (int t = 0; t < run.threads; ++t) {
        openers.emplace_back([&, t] {
            for (int i = t; i < run.registered; i += run.threads)
                files[size_t(i)]->open(true);
        });
    }
    for (std::thread &opener : openers)
        opener.join();
    for (int i = run.registered; i < run.registered + run.plain; ++i)
        files[size_t(i)]->open(false);
    for (int i = 0; i < run.committed; ++i)
        files[size_t(i)]->commit(dir + QStringLiteral("/committed-%1").arg(i),
                                 AtomicFile::Naming::NeverReplace);
    if (run.ending == Ending::Signal)
        ::raise(SIGTERM);
    SignalPath::removeTemporaryFiles();
    ::_exit(0); // no destructor runs: what is left is what the path left
}

} // namespace

Q_DECLARE_METATYPE(Run)

class SignalPathTest : public QObject {
    Q_OBJECT

private slots:
    void everyRegisteredFileGoes_data()
    {
        QTest::addColumn<Run>("run");
        QTest::addColumn<QStringList>("left"); // the names' first words
        const Ending signal = Ending::Signal;
        QTest::newRow("one") << Run {1, 0, 0, 1, signal} << QStringList {};
        QTest::newRow("three") << Run {3, 0, 0, 1, signal} << QStringList {};
        QTest::newRow("three, one committed")
            << Run {3, 0, 1, 1, signal} << QStringList {"committed"};
        QTest::newRow("not registered")
            << Run {1, 2, 0, 1, signal} << QStringList {"plain", "plain"};
        QTest::newRow("a table full, from two threads at once")
            << Run {SignalPath::kMostTemporaryFiles, 0, 0, 2, signal} << QStringList {};
        QTest::newRow("one more than the table holds")
            << Run {SignalPath::kMostTemporaryFiles + 1, 0, 0, 1, signal}
            << QStringList {"registered"};
        QTest::newRow("removed by the program")
            << Run {2, 1, 0, 1, Ending::RemoveTemporaryFiles} << QStringList {"plain"};
    }

    void everyRegisteredFileGoes()
    {
        QFETCH(Run, run);
        QFETCH(QStringList, left);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const int status = runChild(dir.path(), run);
        if (run.ending == Ending::Signal)
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM,
                     qPrintable(QString::number(status)));
        else
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0,
                     qPrintable(QString::number(status)));
        QStringList kinds;
        for (const QString &name : namesIn(dir.path()))
            kinds << name.section(QLatin1Char('-'), 0, 0);
        QCOMPARE(kinds, left);
    }
};

QTEST_GUILESS_MAIN(SignalPathTest)
#include "test_signal_path.moc"
