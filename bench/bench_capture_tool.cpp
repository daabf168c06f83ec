// tessary-capture as a user runs it, over a pseudo-terminal: a large listing
// sent as fast as it goes (bytes lost, peak memory), its CPU on a silent
// open port and while it waits for a port that went, the time from the last
// byte to the job's file on disk (also with --pdf and a large job), to the
// job accepted by a CUPS queue, and how long bytes wait to be read while
// pages are made.
//
//   bench_capture_tool TESSARY_CAPTURE WORKDIR [--megabytes N] [--idle-seconds S]
//
// Prints one "name: value" line per figure.

#include "support/CpuTime.h"
#include "support/CupsServer.h"
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

// tessary-capture started on `port`, once it holds the device open.
void startOn(ProgramRun &run, const QString &port, const QString &device,
             const QStringList &arguments)
{
    if (!run.startHolding(QStringList {"--port", port} + arguments, device))
        fail(QStringLiteral("%1 did not start, or never opened %2").arg(run.program(), device));
}

// tessary-capture started on a pty of its own, writing into a fresh folder
// under `work`, once it holds the port open.
struct Capture {
    Capture(const QString &program, const QString &work, const QString &name,
            const QStringList &options,
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
        : dir(freshDir(work, name)), run(program)
    {
        run.setProcessEnvironment(environment);
        startOn(run, pty.slavePath(), pty.slavePath(), QStringList {"--out", dir} + options);
    }

    Pty pty;
    QString dir;
    ProgramRun run;
};

// A watch on the folder for files that take their name there.
int watchFolder(const QString &dir)
{
    QDir().mkpath(dir);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 ||
        ::inotify_add_watch(watch, QFile::encodeName(dir).constData(), IN_CREATE | IN_MOVED_TO) < 0)
        fail(QStringLiteral("inotify failed"));
    return watch;
}

// Until the program's reads have emptied the pty: its last byte is taken.
void waitUntilRead(const Pty &pty)
{
    while (pty.pendingForReader() > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
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
    Capture capture(program, work, QStringLiteral("baseline"), {"--quiet-ms", "200"});
    capture.pty.writeAll("10 PRINT \"BASELINE\"\r\n");
    const qint64 peakKb = peakOnceAJobIsSaved(capture.run, capture.dir);
    capture.run.stop();
    return peakKb;
}

void benchLargeJob(const QString &program, const QString &work, int megabytes)
{
    const qint64 baselineKb = baselinePeakKb(program, work);
    const QByteArray data = basicListingOfSize(qsizetype(megabytes) * 1024 * 1024);

    Capture capture(program, work, QStringLiteral("large"), {"--quiet-ms", "1000"});
    QElapsedTimer clock;
    clock.start();
    if (!capture.pty.writeAll(data, 600000))
        fail(QStringLiteral("cannot write to the pty"));
    waitUntilRead(capture.pty);
    const double sendSeconds = clock.elapsed() / 1000.0;
    const qint64 peakKb = peakOnceAJobIsSaved(capture.run, capture.dir);
    // Whatever came after a gap is saved as a job of its own at the end.
    capture.run.stop();

    const QStringList files = jobsIn(capture.dir);
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
    // Through a link, like /dev/serial/by-id: after a hang-up the program
    // waits for the port as for an unplugged adapter.
    const QString link = work + QStringLiteral("/ttyIDLE");
    QFile::remove(link);
    if (!QFile::link(pty.slavePath(), link))
        fail(QStringLiteral("cannot link ") + link);
    ProgramRun run(program);
    startOn(run, link, pty.slavePath(), {"--out", freshDir(work, QStringLiteral("idle"))});
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
void waitForJobFile(int watch, int timeoutMs = 10000)
{
    for (;;) {
        pollfd p {watch, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
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
    Capture capture(program, work, QStringLiteral("latency"),
                    {"--quiet-ms", QString::number(kQuietMs)});
    const int watch = watchFolder(capture.dir);

    // Less than the 4 KB a pseudo-terminal's line holds: when the reader has
    // emptied it, it has all of the job.
    const QByteArray job = basicListing(50);
    double worst = 0;
    double total = 0;
    // Round 0 only lets the program finish starting: bytes written while it
    // does are not yet on its line when the loop below finds the line empty.
    for (int round = 0; round <= kRounds; ++round) {
        capture.pty.writeAll(job);
        waitUntilRead(capture.pty);
        QElapsedTimer sinceLastByte;
        sinceLastByte.start();
        waitForJobFile(watch);
        const double ms = sinceLastByte.nsecsElapsed() / 1e6;
        if (round == 0)
            continue;
        worst = std::max(worst, ms);
        total += ms;
    }
    capture.run.stop();
    ::close(watch);
    std::printf("capture_tool_latency_quiet_ms: %d\n", kQuietMs);
    std::printf("capture_tool_latency_over_quiet_ms_mean: %.1f\n", total / kRounds - kQuietMs);
    std::printf("capture_tool_latency_over_quiet_ms_worst: %.1f\n", worst - kQuietMs);
}

// With --pdf, the text of a large job is on the disk at once, before its
// pages are made.
void benchTextBeforePages(const QString &program, const QString &work)
{
    constexpr int kQuietMs = 1000;
    constexpr int kLines = 400000;
    Capture capture(program, work, QStringLiteral("text-before-pages"),
                    {"--pdf", "--quiet-ms", QString::number(kQuietMs)});
    const int watch = watchFolder(capture.dir);
    if (!capture.pty.writeAll(numberedLines(kLines), 600000))
        fail(QStringLiteral("cannot write to the pty"));
    waitUntilRead(capture.pty);
    QElapsedTimer sinceLastByte;
    sinceLastByte.start();
    waitForJobFile(watch, 60000);
    const double ms = sinceLastByte.nsecsElapsed() / 1e6;
    capture.run.stop(SIGTERM, 600000);
    ::close(watch);
    std::printf("capture_tool_pdf_job_lines: %d\n", kLines);
    std::printf("capture_tool_pdf_text_latency_over_quiet_ms: %.1f\n", ms - kQuietMs);
}

// While the pages of a large job are made, bytes that arrive are read at
// once: how long the longest of them waited.
void benchReadWhilePagesAreMade(const QString &program, const QString &work)
{
    constexpr int kChunks = 20;
    Capture capture(program, work, QStringLiteral("read-while-pages"),
                    {"--pdf", "--quiet-ms", "300"});
    const int watch = watchFolder(capture.dir);
    if (!capture.pty.writeAll(numberedLines(400000), 600000))
        fail(QStringLiteral("cannot write to the pty"));
    waitForJobFile(watch, 60000); // its pages are being made from now on
    const QByteArray line = "10 PRINT \"WHILE THE PAGES ARE MADE\"\r\n";
    double worst = 0;
    for (int chunk = 0; chunk < kChunks; ++chunk) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const qint64 readBefore = bytesReadBy(capture.run.pid());
        QElapsedTimer waited;
        waited.start();
        if (capture.pty.write(line) != line.size())
            fail(QStringLiteral("cannot write to the pty"));
        while (bytesReadBy(capture.run.pid()) < readBefore + line.size())
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        worst = std::max(worst, waited.nsecsElapsed() / 1e6);
    }
    const bool stillDrawing = namesIn(capture.dir).filter(QStringLiteral(".pdf")).isEmpty();
    capture.run.stop(SIGTERM, 600000);
    ::close(watch);
    if (!stillDrawing)
        fail(QStringLiteral("the pages were done before the last chunk: make the job larger"));
    std::printf("capture_tool_read_delay_while_pages_ms_worst: %.1f\n", worst);
}

// From the last byte of a 150-line job to CUPS's word that it took the job,
// on a queue of a private CUPS server.
void benchPrintLatency(const QString &program, const QString &work)
{
    constexpr int kQuietMs = 500;
    constexpr int kRounds = 5;
    CupsServer cups;
    if (!cups.start() || !cups.addQueue(QStringLiteral("Bench")))
        fail(QStringLiteral("no CUPS server: ") + cups.error());
    Capture capture(program, work, QStringLiteral("print"),
                    {"--printer", "Bench", "--quiet-ms", QString::number(kQuietMs)},
                    cups.environment());
    ProgramRun &run = capture.run;
    run.setReadChannel(QProcess::StandardError);
    const QByteArray job = numberedLines(150);
    double worst = 0;
    double total = 0;
    // Round 0 lets the program and the queue warm up.
    for (int round = 0; round <= kRounds; ++round) {
        if (!capture.pty.writeAll(job))
            fail(QStringLiteral("cannot write to the pty"));
        waitUntilRead(capture.pty);
        QElapsedTimer sinceLastByte;
        sinceLastByte.start();
        while (run.err().count(" as job ") < round + 1) {
            if (!run.waitForReadyRead(30000))
                fail(QStringLiteral("the job was not printed: ") + QString::fromUtf8(run.err()));
        }
        const double ms = sinceLastByte.nsecsElapsed() / 1e6;
        if (round == 0)
            continue;
        worst = std::max(worst, ms);
        total += ms;
    }
    run.stop();
    std::printf("capture_tool_print_latency_over_quiet_ms_mean: %.1f\n",
                total / kRounds - kQuietMs);
    std::printf("capture_tool_print_latency_over_quiet_ms_worst: %.1f\n", worst - kQuietMs);
}

// A print that waited through a 10-s outage of CUPS: from the moment the
// server is back to its word that it took the print, which is the delay the
// retries' back-off adds (they come 3, 6, 12, ... s apart, a minute at most).
void benchPrintAfterOutage(const QString &program, const QString &work)
{
    constexpr int kOutageMs = 10000;
    CupsServer cups;
    if (!cups.start() || !cups.addQueue(QStringLiteral("Outage")))
        fail(QStringLiteral("no CUPS server: ") + cups.error());
    cups.stop();
    Capture capture(program, work, QStringLiteral("outage"),
                    {"--printer", "Outage", "--quiet-ms", "500"}, cups.environment());
    QElapsedTimer outage;
    outage.start();
    if (!capture.pty.writeAll(numberedLines(150)))
        fail(QStringLiteral("cannot write to the pty"));
    ProgramRun &run = capture.run;
    run.setReadChannel(QProcess::StandardError);
    while (!run.err().contains("print waits: ") && run.waitForReadyRead(30000)) { }
    QTest::qWait(int(qMax<qint64>(0, kOutageMs - outage.elapsed())));
    if (!cups.start())
        fail(QStringLiteral("CUPS did not come back: ") + cups.error());
    QElapsedTimer back;
    back.start();
    while (!run.err().contains(" as job ")) {
        if (!run.waitForReadyRead(90000))
            fail(QStringLiteral("the print was not taken: ") + QString::fromUtf8(run.err()));
    }
    std::printf("capture_tool_print_after_outage_ms: %.1f\n", back.nsecsElapsed() / 1e6);
    run.stop();
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
    benchTextBeforePages(program, work);
    benchReadWhilePagesAreMade(program, work);
    benchPrintLatency(program, work);
    benchPrintAfterOutage(program, work);
    if (idleSeconds > 0)
        benchIdle(program, work, idleSeconds);
    return 0;
}
