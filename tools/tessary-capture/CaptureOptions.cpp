#include "CaptureOptions.h"

#include "CharsetOption.h"
#include "CommandLine.h"
#include "LineSettingOptions.h"
#include "Paper.h"

namespace {

constexpr int kLongestQuietMs = 24 * 60 * 60 * 1000;

// What a usage error says, if there is one.
using UsageError = std::optional<QString>;

QCommandLineOption option(const char *name, const char *valueName, const QString &description)
{
    return QCommandLineOption(QString::fromLatin1(name), description,
                              QString::fromLatin1(valueName));
}

QCommandLineOption flag(const char *name, const QString &description)
{
    return QCommandLineOption(QString::fromLatin1(name), description);
}

// What --help says before and after the options.
CommandLine captureCommandLine()
{
    return CommandLine(
        QStringLiteral(
            "Usage: tessary-capture --port PATH --out DIR [OPTION]...\n"
            "  or:  tessary-capture --list-ports\n"
            "Keeps everything a Sharp PC-1600 prints over a serial port as files, unattended,\n"
            "and prints each job on a CUPS printer when asked to. A job is what arrives until\n"
            "the line has been quiet for --quiet-ms; it goes to DIR/YYYY-MM-DD_HH-MM-SS.txt\n"
            "(local time of its first byte; -2, -3, ... for another job in the same second),\n"
            "the bytes exactly as received. No file is ever overwritten.\n"),
        QStringLiteral(
            "Each finished job puts a line on standard error: file, bytes, lines, pages, what\n"
            "became of its print, and a hint when it looks like wrong line settings; such a\n"
            "job is saved but not printed unless --print-suspect. Standard output carries\n"
            "nothing but the bytes of jobs that could not be written.\n"
            "Files come first: a queue that is not there or a CUPS that does not answer never\n"
            "stops the capture. Each print waits in DIR/.tessary-prints until CUPS takes it,\n"
            "in the order the jobs came, tried again with back-off and at the next start, and\n"
            "is made once; one CUPS refuses for what it is is set aside. One capture a DIR.\n"
            "A port that is missing or does not open, at the start or later, is waited for and\n"
            "opened with the same settings once it is there; a pseudo-terminal that hangs up\n"
            "never comes back, so that ends the program, unless a link named it that its\n"
            "maker makes again.\n"
            "SIGINT, SIGTERM or SIGHUP reads the job in progress until the line is quiet for\n"
            "0.5 s (60 s at most), lets the pages under way finish and CUPS a few seconds, and\n"
            "ends; a second signal ends at once. A job that was arriving when a run was killed\n"
            "is saved at the next start. A job that cannot be written is kept, what of it\n"
            "was written ahead too, tried again on a timer and at the end, and then goes to\n"
            "standard output if that is not a terminal.\n"
            "Exit status: 0 all saved and printed; 1 failed (DIR, a job's text or PDF not\n"
            "saved, a print not made); 2 bad usage; 3 all saved, but prints wait for the\n"
            "next start.\n"));
}

// The options before the line settings', in the order --help lists them.
QList<QCommandLineOption> captureOptions()
{
    return {
        option("port", "PATH",
               QStringLiteral("the serial device: /dev/ttyUSB0, /dev/ttyS0, /dev/rfcomm0, a "
                              "/dev/serial/by-id/... link or a pseudo-terminal")),
        option("out", "DIR", QStringLiteral("where the files go; made when missing")),
        option("quiet-ms", "N",
               QStringLiteral("the silence that ends a job, in ms, 1 to %1 (default %2)")
                   .arg(kLongestQuietMs)
                   .arg(kDefaultQuietMs)),
        flag("pdf",
             QStringLiteral("also DIR/NAME.pdf beside DIR/NAME.txt: the pages the window prints")),
        option("printer", "NAME",
               QStringLiteral("print each job on this CUPS queue (lpstat -p lists them)")),
        flag("print", QStringLiteral("print each job on the default printer")),
        flag("print-suspect",
             QStringLiteral("print a job that looks like wrong line settings too")),
        option("paper", "SIZE",
               QStringLiteral("paper of the pages: A4 or Letter (default: the printer's default "
                              "size; A4 without a printer)")),
        charsetOption(),
        flag("once", QStringLiteral("end after the first job")),
    };
}

const QString kListPorts = QStringLiteral("list-ports");

UsageError readPortAndFolder(const QCommandLineParser &parser, CaptureOptions &options)
{
    options.port = parser.value(QStringLiteral("port"));
    options.outDir = parser.value(QStringLiteral("out"));
    if (options.port.isEmpty())
        return QStringLiteral("--port PATH is needed");
    if (options.outDir.isEmpty())
        return QStringLiteral("--out DIR is needed");
    return std::nullopt;
}

UsageError readQuietTime(const QCommandLineParser &parser, CaptureOptions &options)
{
    if (!parser.isSet(QStringLiteral("quiet-ms")))
        return std::nullopt;
    const QString given = parser.value(QStringLiteral("quiet-ms"));
    bool ok = false;
    options.quietMs = given.toInt(&ok);
    if (!ok || options.quietMs < 1 || options.quietMs > kLongestQuietMs)
        return QStringLiteral("--quiet-ms needs a number of ms from 1 to %1, not \"%2\"")
            .arg(kLongestQuietMs)
            .arg(given);
    return std::nullopt;
}

// --paper and --charset: how the pages look.
UsageError readLook(const QCommandLineParser &parser, CaptureOptions &options)
{
    const QString paper = QStringLiteral("paper");
    for (const QString &name : {paper, QStringLiteral("charset")}) {
        if (parser.isSet(name) && !options.pdf && !options.print)
            return QStringLiteral("--%1 is for --pdf, --printer or --print").arg(name);
    }
    QString error;
    const std::optional<CharacterSet> charset = charsetOf(parser, error);
    if (!charset)
        return error;
    options.charset = *charset;
    if (!parser.isSet(paper))
        return std::nullopt;
    options.paper = paperNamed(parser.value(paper));
    if (!options.paper)
        return QStringLiteral("unknown paper \"%1\" (A4 or Letter)").arg(parser.value(paper));
    return std::nullopt;
}

// --pdf, --printer and --print: the pages, and where they go.
UsageError readPages(const QCommandLineParser &parser, CaptureOptions &options)
{
    const QString printer = QStringLiteral("printer");
    options.pdf = parser.isSet(QStringLiteral("pdf"));
    if (parser.isSet(printer) && parser.isSet(QStringLiteral("print")))
        return QStringLiteral("--printer and --print: give one of them");
    if (parser.isSet(printer) && parser.value(printer).isEmpty())
        return QStringLiteral("--printer needs the name of a queue");
    options.print = parser.isSet(printer) || parser.isSet(QStringLiteral("print"));
    options.printer = parser.value(printer);
    options.printSuspect = parser.isSet(QStringLiteral("print-suspect"));
    if (options.printSuspect && !options.print)
        return QStringLiteral("--print-suspect is for --printer or --print");
    return readLook(parser, options);
}

UsageError readOnce(const QCommandLineParser &parser, CaptureOptions &options)
{
    options.once = parser.isSet(QStringLiteral("once"));
    return std::nullopt;
}

UsageError readLine(const QCommandLineParser &parser, CaptureOptions &options)
{
    return readLineSettingOptions(parser, options.lineSettings);
}

// The values of a capture's options, read in this order: the first usage
// error found is the one told.
using OptionReader = UsageError (*)(const QCommandLineParser &, CaptureOptions &);
const OptionReader kReaders[] = {readPortAndFolder, readQuietTime, readPages, readOnce, readLine};

// A usage error that is not about one option's value.
UsageError misused(const QCommandLineParser &parser)
{
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument \"%1\"")
            .arg(parser.positionalArguments().first());
    if (parser.isSet(kListPorts) && parser.optionNames().size() > 1)
        return QStringLiteral("--list-ports takes no other option");
    return std::nullopt;
}

} // namespace

CaptureCommand parseCaptureCommand(const QStringList &arguments)
{
    CommandLine line = captureCommandLine();
    for (const QCommandLineOption &each : captureOptions())
        line.add(each);
    addLineSettingOptions(line);
    line.add(QCommandLineOption(kListPorts, QStringLiteral("list the system's serial ports")));

    CaptureCommand command;
    if (const std::optional<int> status = line.parse(arguments)) {
        command.exitStatus = *status;
        return command;
    }
    const auto usageError = [&](const QString &reason) {
        command.exitStatus = line.usageError(reason);
        return command;
    };
    const QCommandLineParser &parser = line.parser();
    if (const UsageError error = misused(parser))
        return usageError(*error);
    if (parser.isSet(kListPorts)) {
        command.action = CaptureAction::ListPorts;
        return command;
    }
    for (const OptionReader read : kReaders) {
        if (const UsageError error = read(parser, command.options))
            return usageError(*error);
    }
    command.action = CaptureAction::Capture;
    return command;
}
