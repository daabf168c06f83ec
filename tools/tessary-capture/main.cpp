// Keeps every listing a PC-1600 prints as files, unattended:
// tessary-capture --port PATH --out DIR [options]; tessary-capture --list-ports

#include "CaptureOptions.h"
#include "CaptureSession.h"
#include "CupsPrinter.h"
#include "HeadlessApp.h"
#include "JobFolder.h"
#include "JobStore.h"
#include "LiveLine.h"
#include "Outcome.h"
#include "PdfMaker.h"
#include "PortListing.h"
#include "PrintSpool.h"
#include "ServiceStatus.h"
#include "SignalPath.h"
#include "serial/PortList.h"
#include "serial/Serial.h"

#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
constexpr int kFailure = 1;

int listPorts()
{
    const QVector<PortDescriptor> ports = SystemPortEnumerator().ports();
    for (const PortDescriptor &port : ports)
        std::printf("%s\n", qUtf8Printable(portListingLine(port)));
    if (ports.isEmpty())
        say(QStringLiteral("the system reports no serial ports"));
    return 0;
}

// A path as given: the serial-port service would take a bare name as one
// under /dev. One that does not open is waited for; the session says why.
bool openPort(const CaptureOptions &options, Serial &serial)
{
    serial.setLineSettings(options.lineSettings);
    PortDescriptor port;
    port.name = QFileInfo(options.port).fileName();
    port.location = QFileInfo(options.port).absoluteFilePath();
    serial.setSerialPort(port);
    return serial.open();
}

// The parts of a capture; the session connects them.
struct Parts {
    explicit Parts(const CaptureOptions &options)
        : store(options.outDir, options.pdf),
          live(::isatty(STDERR_FILENO) ? stderr : nullptr),
          outcome(live),
          status(options.port)
    {
        // Files first: the printer is looked up while the capture goes on,
        // and nothing it says keeps the port from being read.
        if (options.print) {
            printer = std::make_unique<CupsPrinter>(options.printer);
            if (options.paper)
                printer->setPaper(*options.paper);
            prints =
                std::make_unique<PrintSpool>(*printer,
                                             PrintSpool::Settings {options.outDir, options.printer,
                                                                   options.paper, options.charset});
        }
        if (options.pdf)
            pdfs = std::make_unique<PdfMaker>(options.outDir,
                                              options.paper || !options.print
                                                  ? options.paper.value_or(QPageSize(QPageSize::A4))
                                                  : std::optional<QPageSize>(),
                                              options.charset);
    }
    CaptureParts forSession() { return {store, outcome, pdfs.get(), prints.get(), &status}; }

    JobStore store;
    LiveLine live;
    Outcome outcome;
    std::unique_ptr<CupsPrinter> printer;
    std::unique_ptr<PrintSpool> prints;
    std::unique_ptr<PdfMaker> pdfs;
    ServiceStatus status;
};

int capture(const CaptureOptions &options)
{
    QString error;
    JobFolder folder;
    if (!folder.open(options.outDir, error)) {
        say(error);
        return kFailure;
    }
    // A reader of standard output that went away must not end the capture.
    std::signal(SIGPIPE, SIG_IGN);
    // Signals are taken from now on and handled once the capture runs: the
    // first reads the job in progress to its end, a second ends at once.
    CaptureSession *running = nullptr;
    int signalsSeen = 0;
    const SignalPath stopOnSignal([&running, &signalsSeen](int) {
        if (signalsSeen++ == 0)
            running->stop();
        else
            running->stopNow();
    });
    Serial serial;
    const bool portOpen = openPort(options, serial);
    Parts parts(options);
    CaptureSession session(serial, options, parts.forSession());
    session.onEnd = [](int code, bool atOnce) {
        if (!atOnce)
            return QCoreApplication::exit(code);
        // Pages still being made are not waited for; their files go.
        SignalPath::removeTemporaryFiles();
        std::fflush(nullptr);
        std::_Exit(code);
    };
    running = &session;
    session.start(portOpen);
    return QCoreApplication::exec();
}
} // namespace

int main(int argc, char *argv[])
{
    HeadlessApp app(argc, argv, QStringLiteral("tessary-capture"));
    const CaptureCommand command = parseCaptureCommand(app.arguments());
    if (command.action == CaptureAction::Exit)
        return command.exitStatus;
    return command.action == CaptureAction::ListPorts ? listPorts() : capture(command.options);
}
