// tessary-capture as a user runs it, over a pseudo-terminal: a large listing
// sent as fast as it goes (bytes lost, peak memory), its CPU on a silent
// open port and after a hang-up, and the time from the last byte to the
// job's file on disk.
//
//   bench_capture_tool TESSARY_CAPTURE WORKDIR [--megabytes N] [--idle-seconds S]
//
// Prints one "name: value" line per figure.

#include "support/CpuTime.h"
#include "support/Files.h"
#include "support/Listings.h"
#include "support/Process.h"
#include "support/Pty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "bench_capture_tool: %s\n", qPrintable(what));
    std::exit(1);
}

// The job files in the folder, in the order of their names.
QStringList jobsIn(const QString &dir)
{
    QStringList jobs;
    for (const QString &name : namesIn(dir)) {
        if (name.endsWith(QLatin1String(".txt")))
            jobs << dir + QLatin1Char('/') + name;
    }
    return jobs;
}

QString freshDir(const QString &work, const QString &name)
{
    const QString dir = work + QLatin1Char('/') + name;
    QDir(dir).removeRecursively();
    return dir;
}

// tessary-capture started on the pty, once it holds the port open.
void startOn(ProgramRun &run, const Pty &pty, const QStringList &arguments)
{
    if (!run.start(QStringList {"--port", pty.slavePath()} + arguments))
        fail(QStringLiteral("cannot start %1").arg(run.program()));
    if (!QTest::qWaitFor([&] { return holdsOpen(run.pid(), pty.slavePath()); }, 20000))
        fail(QStringLiteral("the program never opened ") + pty.slavePath());
}

// Until the first job's file is there; its peak memory then is that of the
// whole job.
qint64 peakOnceAJobIsSaved(ProgramRun &run, const QString &dir)
{
    if (!QTest::qWaitFor([&] { return !jobsIn(dir).isEmpty(); }, 60000))
        fail(QStringLiteral("no job file appeared in ") + dir);
    return peakMemoryKb(run.pid());
}

// Peak memory of a run that takes one tiny job: the program's own baseline.
qint64 baselinePeakKb(const QString &program, const QString &work)
{
    Pty pty;
    const QString dir = freshDir(work, QStringLiteral("baseline"));
    ProgramRun run(program);
    startOn(run, pty, {"--out", dir, "--quiet-ms", "200"});
    pty.writeAll("10 PRINT \"BASELINE\"\r\n");
    const qint64 peakKb = peakOnceAJobIsSaved(run, dir);
    run.stop();
    return peakKb;
}

void benchLargeJob(const QString &program, const QString &work, int megabytes)
{
    const qint64 baselineKb = baselinePeakKb(program, work);
    // Lines of 22 to 82 bytes: more than enough of them, cut to size.
    const QByteArray data =
        basicListing(megabytes * 1024 * 1024 / 22 + 1).left(qsizetype(megabytes) * 1024 * 1024);

    Pty pty;
    const QString dir = freshDir(work, QStringLiteral("large"));
    ProgramRun run(program);
    startOn(run, pty, {"--out", dir, "--quiet-ms", "1000"});
    QElapsedTimer clock;
    clock.start();
    if (!pty.writeAll(data, 600000))
        fail(QStringLiteral("cannot write to the pty"));
    while (pty.pendingForReader() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double sendSeconds = clock.elapsed() / 1000.0;
    const qint64 peakKb = peakOnceAJobIsSaved(run, dir);
    // Whatever came after a gap is saved as a job of its own at the end.
    run.stop();

    const QStringList files = jobsIn(dir);
    QByteArray saved;
    for (const QString &file : files)
        saved += contentOf(file);
    std::printf("capture_tool_bytes_sent: %lld\n", qint64(data.size()));
    std::printf("capture_tool_bytes_lost: %lld\n", std::max(qint64(0), data.size() - saved.size()));
    std::printf("capture_tool_identical: %s\n", saved == data ? "yes" : "no");
    std::printf("capture_tool_jobs: %lld\n", qint64(files.size()));
    std::printf("capture_tool_send_mb_per_second: %.1f\n", megabytes / sendSeconds);
    std::printf("capture_tool_baseline_mb: %.1f\n", baselineKb / 1024.0);
    std::printf("capture_tool_peak_mb: %.1f\n", peakKb / 1024.0);
    std::printf("capture_tool_peak_over_baseline_per_input: %.2f\n",
                (peakKb - baselineKb) * 1024.0 / double(data.size()));
}

void benchIdle(const QString &program, const QString &work, int seconds)
{
    Pty pty;
    ProgramRun run(program);
    startOn(run, pty, {"--out", freshDir(work, QStringLiteral("idle"))});
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // start-up is not idling

    double before = processCpuSeconds(run.pid());
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double open = processCpuSeconds(run.pid()) - before;

    // The other side hangs up; the dead device stays there and keeps
    // failing to open.
    pty.closeMaster();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    before = processCpuSeconds(run.pid());
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double hungUp = processCpuSeconds(run.pid()) - before;
    run.stop();

    std::printf("idle_capture_tool_open_cpu_percent: %.2f\n", 100.0 * open / seconds);
    std::printf("idle_capture_tool_hangup_cpu_percent: %.2f\n", 100.0 * hungUp / seconds);
}

// Waits until a job file takes its name in the folder inotify watches.
void waitForJobFile(int watch)
{
    for (;;) {
        pollfd p {watch, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            fail(QStringLiteral("no job file appeared"));
        alignas(inotify_event) char buffer[4096];
        const ssize_t n = ::read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->len && QByteArray(event->name).endsWith(".txt"))
                return;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

void benchLatency(const QString &program, const QString &work)
{
    constexpr int kQuietMs = 1000;
    constexpr int kRounds = 5;
    Pty pty;
    const QString dir = freshDir(work, QStringLiteral("latency"));
    QDir().mkpath(dir);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 ||
        ::inotify_add_watch(watch, QFile::encodeName(dir).constData(), IN_CREATE | IN_MOVED_TO) < 0)
        fail(QStringLiteral("inotify failed"));
    ProgramRun run(program);
    startOn(run, pty, {"--out", dir, "--quiet-ms", QString::number(kQuietMs)});

    // Less than the 4 KB a pseudo-terminal's line holds: when the reader has
    // emptied it, it has all of the job.
    const QByteArray job = basicListing(50);
    double worst = 0;
    double total = 0;
    // Round 0 only lets the program finish starting: bytes written while it
    // does are not yet on its line when the loop below finds the line empty.
    for (int round = 0; round <= kRounds; ++round) {
        pty.writeAll(job);
        while (pty.pendingForReader() > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        QElapsedTimer sinceLastByte;
        sinceLastByte.start();
        waitForJobFile(watch);
        const double ms = sinceLastByte.nsecsElapsed() / 1e6;
        if (round == 0)
            continue;
        worst = std::max(worst, ms);
        total += ms;
    }
    run.stop();
    ::close(watch);
    std::printf("capture_tool_latency_quiet_ms: %d\n", kQuietMs);
    std::printf("capture_tool_latency_over_quiet_ms_mean: %.1f\n", total / kRounds - kQuietMs);
    std::printf("capture_tool_latency_over_quiet_ms_worst: %.1f\n", worst - kQuietMs);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        fail(QStringLiteral("usage: bench_capture_tool TESSARY_CAPTURE WORKDIR [--megabytes N] "
                            "[--idle-seconds S]"));
    const QString program = QString::fromLocal8Bit(argv[1]);
    const QString work = QString::fromLocal8Bit(argv[2]);
    int megabytes = 10;
    int idleSeconds = 10;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--megabytes") == 0)
            megabytes = std::atoi(argv[i + 1]);
        else if (qstrcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::atoi(argv[i + 1]);
    }
    benchLargeJob(program, work, megabytes);
    benchLatency(program, work);
    if (idleSeconds > 0)
        benchIdle(program, work, idleSeconds);
    return 0;
}
