// Keeps every listing a PC-1600 prints as files, unattended:
// tessary-capture --port PATH --out DIR [options]; tessary-capture --list-ports

#include "CaptureOptions.h"
#include "CaptureSession.h"
#include "CupsPrinter.h"
#include "HeadlessApp.h"
#include "JobFiles.h"
#include "LiveLine.h"
#include "PageWorker.h"
#include "PortListing.h"
#include "SignalPath.h"
#include "serial/PortList.h"
#include "serial/Serial.h"
#include "texts/Catalogue.h"
#include "texts/PortErrors.h"

#include <QFileInfo>

#include <csignal>
#include <cstdio>
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

int capture(const CaptureOptions &options)
{
    QString error;
    if (!JobFiles::prepare(options.outDir, error)) {
        say(error);
        return kFailure;
    }
    // The printer is looked for before the port is opened: a name mistyped
    // in a service's settings shows at once, not at the first job.
    std::unique_ptr<CupsPrinter> printer;
    if (options.print) {
        printer = CupsPrinter::find(options.printer, error);
        if (!printer) {
            say(error);
            return kFailure;
        }
        if (options.paper)
            printer->setPaper(*options.paper);
    }
    const QPageSize paper = options.paper    ? *options.paper
        : printer && printer->defaultPaper() ? *printer->defaultPaper()
                                             : QPageSize(QPageSize::A4);
    // A reader of standard output that went away must not end the capture.
    std::signal(SIGPIPE, SIG_IGN);

    Serial serial;
    serial.setLineSettings(options.lineSettings);
    // A path as given: the serial-port service would take a bare name as
    // one under /dev.
    PortDescriptor port;
    port.name = QFileInfo(options.port).fileName();
    port.location = QFileInfo(options.port).absoluteFilePath();
    serial.setSerialPort(port);
    if (!serial.open()) {
        const int code = serial.lastErrorCode();
        say(QStringLiteral("%1: %2. %3")
                .arg(options.port, portOpenFailedText(kEnglish, code).value_or(QString()),
                     portErrorSentence(code)));
        return kFailure;
    }

    JobFiles files(options.outDir, options.pdf);
    std::unique_ptr<PageWorker> pages;
    if (options.pdf || printer)
        pages = std::make_unique<PageWorker>(files, paper, printer.get());
    LiveLine live(::isatty(STDERR_FILENO) ? stderr : nullptr);
    CaptureSession session(serial, files, live,
                           {options.port, port.location, options.quietMs, options.once, options.pdf,
                            printer ? printer->name() : QString()},
                           pages.get());
    session.onEnd = [](int status) { QCoreApplication::exit(status); };
    const SignalPath stopOnSignal([&session](int) { session.stop(); });
    session.start();
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
