// Capture figures over a pseudo-terminal: a large listing sent as fast as it
// goes while the window idles, then drained by the print job; how soon the
// dialogs come after a press on a quiet line and after the last byte of a
// sender still sending; the CPU an idle open port costs.
//
//   bench_capture [--megabytes N] [--idle-seconds S]
//
// Prints one "name: value" line per figure.

#include "support/CpuTime.h"
#include "support/FakeToolkit.h"
#include "support/Files.h"
#include "support/Listings.h"
#include "support/Process.h"
#include "support/SerialOnPty.h"

#include "printjob/Capture.h"
#include "printjob/PrintJob.h"
#include "serial/Serial.h"
#include "toolkit/Printing.h"
#include "toolkit/Waiting.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

// Notes when the print dialog is asked for, then cancels it.
class StopwatchPrinting : public PrintService {
    class Setup : public PrinterSetup {
    public:
        explicit Setup(StopwatchPrinting &owner) : m_owner(owner) { }
        bool pageSetupDialog() override
        {
            m_owner.askedAt = std::chrono::steady_clock::now();
            return false;
        }
        std::unique_ptr<PrinterGraphics> openPrinterDialog(const SheetCounter &) override
        {
            return nullptr;
        }

    private:
        StopwatchPrinting &m_owner;
    };

public:
    std::unique_ptr<PrinterSetup> newPrinterSetup() override
    {
        return std::make_unique<Setup>(*this);
    }
    std::chrono::steady_clock::time_point askedAt;
};

// The real pause and yield of a print job, with its messages on standard
// error: a benchmark has no one to click them away.
struct BenchServices {
    BenchServices()
    {
        msgBox.onShow = [](const QString &text) {
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
        };
    }
    RecordingMsgBox msgBox;
    RecordingBusy busy;
    QtPause pause;
    QtYield yield;
    CaptureServices capture {msgBox, busy, pause, yield};
};

// The port opened on a fresh pseudo-terminal, or the end of the benchmark.
void open(SerialOnPty &link)
{
    if (!link.open()) {
        std::fprintf(stderr, "cannot open %s: %d\n", qPrintable(link.pty.slavePath()),
                     link.serial.lastErrorCode());
        std::exit(1);
    }
}

void benchLargeCapture(int megabytes)
{
    SerialOnPty link;
    open(link);
    Serial &serial = link.serial;
    const QByteArray data = basicListingOfSize(qsizetype(megabytes) * 1024 * 1024);
    const qint64 baselineKb = peakMemoryKb(QCoreApplication::applicationPid());

    std::atomic<bool> sent {false};
    QElapsedTimer clock;
    clock.start();
    // A sender of its own, as the pocket computer is: the window idles in
    // its event loop while the listing arrives.
    std::thread writer([&] {
        if (!link.pty.writeAll(data, 600000))
            std::fprintf(stderr, "cannot write to the pty\n");
        sent = true;
    });
    while (!sent)
        runEventLoop(20);
    writer.join();
    const double sendSeconds = clock.elapsed() / 1000.0;

    BenchServices services;
    clock.restart();
    const std::optional<QByteArray> text = CaptureReceivedText(1, serial, services.capture);
    const double drainSeconds = clock.elapsed() / 1000.0;
    const qint64 received = text ? text->size() : 0;
    const qint64 peakKb = peakMemoryKb(QCoreApplication::applicationPid());

    std::printf("capture_bytes_sent: %lld\n", static_cast<long long>(data.size()));
    std::printf("capture_bytes_lost: %lld\n", static_cast<long long>(data.size() - received));
    std::printf("capture_identical: %s\n", text && *text == data ? "yes" : "no");
    std::printf("capture_send_seconds: %.3f\n", sendSeconds);
    std::printf("capture_drain_seconds: %.3f\n", drainSeconds);
    std::printf("capture_baseline_mb: %.1f\n", baselineKb / 1024.0);
    std::printf("capture_peak_mb: %.1f\n", peakKb / 1024.0);
    std::printf("capture_peak_over_baseline_per_input: %.2f\n",
                (peakKb - baselineKb) * 1024.0 / double(data.size()));
}

double msBetween(std::chrono::steady_clock::time_point from,
                 std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Latencies {
    double total = 0;
    double worst = 0;
    int rounds = 0;
    void add(double ms)
    {
        total += ms;
        worst = std::max(worst, ms);
        ++rounds;
    }
    void print(const char *name) const
    {
        std::printf("%s_ms_mean: %.1f\n", name, rounds ? total / rounds : 0.0);
        std::printf("%s_ms_worst: %.1f\n", name, worst);
    }
};

// Runs one press of Print up to the page-setup dialog; returns when the
// dialog was asked for.
std::chrono::steady_clock::time_point pressPrint(Serial &serial)
{
    BenchServices services;
    StopwatchPrinting printing;
    if (const auto received = CaptureReceivedText(1, serial, services.capture))
        PrintReceivedText(*received, printing, services.yield);
    return printing.askedAt;
}

// Print pressed on a line quiet for a while: from the press to the dialog.
void benchQuietPress(SerialOnPty &link, Latencies &out)
{
    link.pty.writeAll(basicListingOfSize(4000));
    runEventLoop(kDrainPauseMs + 200);
    const auto press = std::chrono::steady_clock::now();
    out.add(msBetween(press, pressPrint(link.serial)));
}

// Print pressed while the sender is still sending lines with pauses between
// them: from the sender's last byte to the dialog.
void benchPressWhileSending(SerialOnPty &link, int round, Latencies &out)
{
    // A different rhythm each round, so the last line falls at another
    // moment of the drain's waiting.
    const int gapMs = 70 + (round * 53) % 180;
    std::chrono::steady_clock::time_point lastByte;
    std::thread sender([&] {
        for (int line = 0; line < 8; ++line) {
            const QByteArray text = QByteArray::number((line + 1) * 10) + " PRINT \"ZEILE\"\r\n";
            link.pty.write(text);
            lastByte = std::chrono::steady_clock::now();
            if (line < 7)
                std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
    });
    // Pressed once the first line is in.
    while (link.serial.bytesAvailable() == 0)
        runEventLoop(1);
    const auto asked = pressPrint(link.serial);
    sender.join();
    out.add(msBetween(lastByte, asked));
}

void benchLatency()
{
    SerialOnPty link;
    open(link);
    Latencies quiet;
    Latencies sending;
    const int rounds = 6;
    for (int round = 0; round < rounds; ++round) {
        benchQuietPress(link, quiet);
        benchPressWhileSending(link, round, sending);
    }
    quiet.print("latency_quiet_press");
    sending.print("latency_last_byte");
}

void benchIdle(int seconds)
{
    SerialOnPty link;
    open(link);

    double before = processCpuSeconds();
    runEventLoop(seconds * 1000);
    const double openIdle = processCpuSeconds() - before;

    link.pty.closeMaster();
    before = processCpuSeconds();
    runEventLoop(seconds * 1000);
    const double vanishedIdle = processCpuSeconds() - before;

    std::printf("idle_open_cpu_percent: %.2f\n", 100.0 * openIdle / seconds);
    std::printf("idle_vanished_cpu_percent: %.2f\n", 100.0 * vanishedIdle / seconds);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int megabytes = 10;
    int idleSeconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--megabytes") == 0)
            megabytes = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::atoi(argv[i + 1]);
    }
    benchLargeCapture(megabytes);
    benchLatency();
    if (idleSeconds > 0)
        benchIdle(idleSeconds);
    return 0;
}
