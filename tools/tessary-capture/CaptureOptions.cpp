#include "CaptureOptions.h"

#include "HeadlessApp.h"
#include "serial/Serial.h"

#include <QCommandLineParser>

namespace {

constexpr int kLongestQuietMs = 24 * 60 * 60 * 1000;

struct SettingOption {
    LineSetting setting;
    const char *name;
};

// The options that set a line, each with the window's popup behind it.
const SettingOption kSettingOptions[] = {
    {LineSetting::Baud, "baud"},    {LineSetting::Bits, "bits"}, {LineSetting::Parity, "parity"},
    {LineSetting::StopBit, "stop"}, {LineSetting::DTR, "dtr"},   {LineSetting::CTS, "cts"},
    {LineSetting::XON, "xon"},
};

// The parity words in the order of the window's popup items, then the two
// codes the popup does not offer.
const QStringList kParityWords = {QStringLiteral("none"), QStringLiteral("even"),
                                  QStringLiteral("odd")};

// The value a popup would store for `text`, the item matched without regard
// to case; nothing when the popup has no such item.
std::optional<int> popupValue(LineSetting setting, const QString &text)
{
    const LineSettingPopup &popup = lineSettingPopup(setting);
    if (setting == LineSetting::Parity) {
        const qsizetype index = kParityWords.indexOf(text.toLower());
        if (index >= 0 && index < popup.values.size())
            return popup.values[index];
        if (text.compare(QLatin1String("space"), Qt::CaseInsensitive) == 0)
            return kSpaceParity;
        if (text.compare(QLatin1String("mark"), Qt::CaseInsensitive) == 0)
            return kMarkParity;
        return std::nullopt;
    }
    for (qsizetype i = 0; i < popup.items.size(); ++i) {
        if (popup.items[i].compare(text, Qt::CaseInsensitive) == 0)
            return popup.values.value(i);
    }
    return std::nullopt;
}

QString choicesOf(LineSetting setting)
{
    if (setting == LineSetting::Parity)
        return (kParityWords + QStringList {QStringLiteral("space"), QStringLiteral("mark")})
            .join(QStringLiteral(", "));
    QStringList items = lineSettingPopup(setting).items;
    for (QString &item : items)
        item = item.toLower();
    return items.join(QStringLiteral(", "));
}

CaptureCommand usageError(const QString &reason)
{
    CaptureCommand command;
    command.action = CaptureAction::UsageError;
    command.error = reason;
    return command;
}

} // namespace

const char kCaptureUsage[] =
    "Usage: tessary-capture --port PATH --out DIR [--quiet-ms N] [--pdf]\n"
    "                       [--printer NAME | --print] [--paper A4|Letter]\n"
    "                       [--once] [--baud N] [--bits 5|6|7|8]\n"
    "                       [--parity none|even|odd|space|mark] [--stop 1|1.5|2]\n"
    "                       [--dtr on|off] [--cts on|off] [--xon on|off]\n"
    "       tessary-capture --list-ports\n"
    "Keeps everything a Sharp PC-1600 prints over a serial port as files, unattended,\n"
    "and prints each job on a CUPS printer when asked to. A job is what arrives until\n"
    "the line has been quiet for --quiet-ms; it goes to DIR/YYYY-MM-DD_HH-MM-SS.txt\n"
    "(local time of its first byte; -2, -3, ... for another job in the same second),\n"
    "the bytes exactly as received. No file is ever overwritten.\n"
    "\n"
    "  --port PATH      the serial device: /dev/ttyUSB0, /dev/ttyS0, /dev/rfcomm0, a\n"
    "                   /dev/serial/by-id/... link or a pseudo-terminal\n"
    "  --out DIR        where the files go; made when missing\n"
    "  --quiet-ms N     the silence that ends a job, in ms, 1 to 86400000 (default\n"
    "                   2000)\n"
    "  --pdf            also DIR/NAME.pdf beside DIR/NAME.txt: the pages the window\n"
    "                   prints\n"
    "  --printer NAME   print each job on this CUPS queue (lpstat -p lists them)\n"
    "  --print          print each job on the default printer\n"
    "  --paper SIZE     paper of the pages: A4 or Letter (default: the printer's\n"
    "                   default size; A4 without a printer)\n"
    "  --once           end after the first job\n"
    "  --baud N         38400, 19200, 9600 (default), 4800, 2400, 1200, 600 or 300\n"
    "  --bits N         data bits: 5, 6, 7 or 8 (default)\n"
    "  --parity P       none (default), even, odd, space or mark\n"
    "  --stop N         stop bits: 1 (default), 1.5 or 2; 1.5 means one stop bit, as\n"
    "                   in the window (Linux has no 1.5)\n"
    "  --dtr on|off     the DTR line (default off)\n"
    "  --cts on|off     the RTS/CTS handshake (default off)\n"
    "  --xon on|off     the XON/XOFF handshake (default off)\n"
    "  --list-ports     list the system's serial ports\n"
    "  -h, --help       this text\n"
    "  --version        the version\n"
    "\n"
    "Each finished job puts a line on standard error: file, bytes, lines, pages, and\n"
    "where it was printed. Standard output carries nothing but the bytes of jobs that\n"
    "could not be written, one after another in the order they came.\n"
    "An adapter that vanishes is waited for and opened again with the same settings;\n"
    "a pseudo-terminal that hangs up never comes back, so that ends the program.\n"
    "SIGINT, SIGTERM or SIGHUP saves the job in progress and ends the program. A job\n"
    "that cannot be written is kept, tried again after the next job and at the end,\n"
    "and then goes to standard output if that is not a terminal.\n"
    "Exit status: 0 done; 1 failed (port, DIR, printer, a job not saved or not\n"
    "printed); 2 bad usage.\n";

CaptureCommand parseCaptureCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("path"));
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("dir"));
    const QCommandLineOption quiet(QStringLiteral("quiet-ms"), QString(), QStringLiteral("n"));
    const QCommandLineOption pdf(QStringLiteral("pdf"));
    const QCommandLineOption paper(QStringLiteral("paper"), QString(), QStringLiteral("size"));
    const QCommandLineOption printer(QStringLiteral("printer"), QString(), QStringLiteral("name"));
    const QCommandLineOption print(QStringLiteral("print"));
    const QCommandLineOption once(QStringLiteral("once"));
    const QCommandLineOption listPorts(QStringLiteral("list-ports"));
    const QCommandLineOption help(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions(
        {port, out, quiet, pdf, printer, print, paper, once, listPorts, help, version});
    for (const SettingOption &setting : kSettingOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(setting.name), QString(),
                                            QStringLiteral("value")));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    CaptureCommand command;
    if (parser.isSet(help)) {
        command.action = CaptureAction::Help;
        return command;
    }
    if (parser.isSet(version)) {
        command.action = CaptureAction::Version;
        return command;
    }
    if (parser.isSet(listPorts)) {
        if (parser.optionNames().size() > 1)
            return usageError(QStringLiteral("--list-ports takes no other option"));
        command.action = CaptureAction::ListPorts;
        return command;
    }

    CaptureOptions &options = command.options;
    options.port = parser.value(port);
    options.outDir = parser.value(out);
    if (options.port.isEmpty())
        return usageError(QStringLiteral("--port PATH is needed"));
    if (options.outDir.isEmpty())
        return usageError(QStringLiteral("--out DIR is needed"));
    if (parser.isSet(quiet)) {
        bool ok = false;
        options.quietMs = parser.value(quiet).toInt(&ok);
        if (!ok || options.quietMs < 1 || options.quietMs > kLongestQuietMs)
            return usageError(QStringLiteral("--quiet-ms needs a number of ms from 1 to %1, not "
                                             "\"%2\"")
                                  .arg(kLongestQuietMs)
                                  .arg(parser.value(quiet)));
    }
    options.pdf = parser.isSet(pdf);
    if (parser.isSet(printer) && parser.isSet(print))
        return usageError(QStringLiteral("--printer and --print: give one of them"));
    if (parser.isSet(printer) && parser.value(printer).isEmpty())
        return usageError(QStringLiteral("--printer needs the name of a queue"));
    options.print = parser.isSet(printer) || parser.isSet(print);
    options.printer = parser.value(printer);
    if (parser.isSet(paper)) {
        if (!options.pdf && !options.print)
            return usageError(QStringLiteral("--paper is for --pdf, --printer or --print"));
        options.paper = paperNamed(parser.value(paper));
        if (!options.paper)
            return usageError(
                QStringLiteral("unknown paper \"%1\" (A4 or Letter)").arg(parser.value(paper)));
    }
    options.once = parser.isSet(once);

    for (const LineSettingPopup &popup : lineSettingPopups())
        options.lineSettings.append({popup.setting, popup.values.value(popup.defaultIndex)});
    for (const SettingOption &setting : kSettingOptions) {
        const QString name = QString::fromLatin1(setting.name);
        if (!parser.isSet(name))
            continue;
        const std::optional<int> value = popupValue(setting.setting, parser.value(name));
        if (!value)
            return usageError(QStringLiteral("--%1 takes %2, not \"%3\"")
                                  .arg(name, choicesOf(setting.setting), parser.value(name)));
        for (auto &[which, stored] : options.lineSettings) {
            if (which == setting.setting)
                stored = *value;
        }
    }
    command.action = CaptureAction::Capture;
    return command;
}

void applyLineSettings(const CaptureOptions &options, Serial &serial)
{
    for (const auto &[setting, value] : options.lineSettings)
        applyLineSetting(serial, setting, value);
}
