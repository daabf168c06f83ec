#include "CaptureOptions.h"

#include "CommandLine.h"
#include "Paper.h"

#include <algorithm>

namespace {

constexpr int kLongestQuietMs = 24 * 60 * 60 * 1000;

struct SettingOption {
    LineSetting setting;
    const char *name;
    const char *valueName;
    const char *what;
};

// The options that set a line, each with the window's popup behind it.
const SettingOption kSettingOptions[] = {
    {LineSetting::Baud, "baud", "N", "the line speed"},
    {LineSetting::Bits, "bits", "N", "data bits"},
    {LineSetting::Parity, "parity", "P", "parity"},
    {LineSetting::StopBit, "stop", "N", "stop bits"},
    {LineSetting::DTR, "dtr", "on|off", "the DTR line"},
    {LineSetting::CTS, "cts", "on|off", "the RTS/CTS handshake"},
    {LineSetting::XON, "xon", "on|off", "the XON/XOFF handshake"},
};

// A word an option takes, and what it sets on the line.
struct SettingWord {
    QString word;
    void (*apply)(LineSettings &);
};

// The words an option takes, in the order of the window's popup items; for
// parity words of their own, then the two the popup does not offer.
QVector<SettingWord> wordsOf(LineSetting setting)
{
    static const QStringList parityWords = {QStringLiteral("none"), QStringLiteral("even"),
                                            QStringLiteral("odd")};
    const bool parity = setting == LineSetting::Parity;
    const QVector<LineSettingItem> &items = lineSettingPopup(setting).items;
    QVector<SettingWord> words;
    for (qsizetype i = 0; i < items.size(); ++i)
        words.append({parity ? parityWords.value(i) : items[i].text.toLower(), items[i].apply});
    if (parity) {
        words.append(
            {QStringLiteral("space"), setTo<&LineSettings::parity, QSerialPort::SpaceParity>});
        words.append(
            {QStringLiteral("mark"), setTo<&LineSettings::parity, QSerialPort::MarkParity>});
    }
    return words;
}

QStringList textsOf(const QVector<SettingWord> &words)
{
    QStringList texts;
    for (const SettingWord &word : words)
        texts << word.word;
    return texts;
}

QString describe(const SettingOption &option)
{
    QStringList words = textsOf(wordsOf(option.setting));
    words[lineSettingPopup(option.setting).defaultIndex] += QStringLiteral(" (default)");
    QString text =
        QStringLiteral("%1: %2 or %3")
            .arg(QLatin1String(option.what),
                 words.mid(0, words.size() - 1).join(QStringLiteral(", ")), words.last());
    if (option.setting == LineSetting::StopBit)
        text += QStringLiteral("; 1.5 means one stop bit, as in the window (Linux has no 1.5)");
    return text;
}

QCommandLineOption option(const char *name, const char *valueName, const QString &description)
{
    return QCommandLineOption(QString::fromLatin1(name), description,
                              QString::fromLatin1(valueName));
}

} // namespace

CaptureCommand parseCaptureCommand(const QStringList &arguments)
{
    CommandLine line(
        QStringLiteral(
            "Usage: tessary-capture --port PATH --out DIR [OPTION]...\n"
            "  or:  tessary-capture --list-ports\n"
            "Keeps everything a Sharp PC-1600 prints over a serial port as files, unattended,\n"
            "and prints each job on a CUPS printer when asked to. A job is what arrives until\n"
            "the line has been quiet for --quiet-ms; it goes to DIR/YYYY-MM-DD_HH-MM-SS.txt\n"
            "(local time of its first byte; -2, -3, ... for another job in the same second),\n"
            "the bytes exactly as received. No file is ever overwritten.\n"),
        QStringLiteral(
            "Each finished job puts a line on standard error: file, bytes, lines, pages, and\n"
            "where it was printed. Standard output carries nothing but the bytes of jobs that\n"
            "could not be written, one after another in the order they came.\n"
            "An adapter that vanishes is waited for and opened again with the same settings;\n"
            "a pseudo-terminal that hangs up never comes back, so that ends the program.\n"
            "SIGINT, SIGTERM or SIGHUP saves the job in progress and ends the program. A job\n"
            "that cannot be written is kept, tried again after the next job and at the end,\n"
            "and then goes to standard output if that is not a terminal.\n"
            "Exit status: 0 done; 1 failed (port, DIR, printer, a job not saved or not\n"
            "printed); 2 bad usage.\n"));
    const QCommandLineOption port =
        option("port", "PATH",
               QStringLiteral("the serial device: /dev/ttyUSB0, /dev/ttyS0, /dev/rfcomm0, a "
                              "/dev/serial/by-id/... link or a pseudo-terminal"));
    const QCommandLineOption out =
        option("out", "DIR", QStringLiteral("where the files go; made when missing"));
    const QCommandLineOption quiet =
        option("quiet-ms", "N",
               QStringLiteral("the silence that ends a job, in ms, 1 to %1 (default 2000)")
                   .arg(kLongestQuietMs));
    const QCommandLineOption pdf(
        QStringLiteral("pdf"),
        QStringLiteral("also DIR/NAME.pdf beside DIR/NAME.txt: the pages the window prints"));
    const QCommandLineOption printer =
        option("printer", "NAME",
               QStringLiteral("print each job on this CUPS queue (lpstat -p lists them)"));
    const QCommandLineOption print(QStringLiteral("print"),
                                   QStringLiteral("print each job on the default printer"));
    const QCommandLineOption paper = option(
        "paper", "SIZE",
        QStringLiteral("paper of the pages: A4 or Letter (default: the printer's default size; "
                       "A4 without a printer)"));
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("end after the first job"));
    const QCommandLineOption listPorts(QStringLiteral("list-ports"),
                                       QStringLiteral("list the system's serial ports"));
    for (const QCommandLineOption &each : {port, out, quiet, pdf, printer, print, paper, once})
        line.add(each);
    for (const SettingOption &setting : kSettingOptions)
        line.add(option(setting.name, setting.valueName, describe(setting)));
    line.add(listPorts);

    CaptureCommand command;
    QCommandLineParser &parser = line.parser();
    if (const std::optional<int> status = line.parse(arguments)) {
        command.exitStatus = *status;
        return command;
    }
    const auto usageError = [&](const QString &reason) {
        command.exitStatus = line.usageError(reason);
        return command;
    };
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
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

    for (const SettingOption &setting : kSettingOptions) {
        const QString name = QString::fromLatin1(setting.name);
        if (!parser.isSet(name))
            continue;
        const QVector<SettingWord> words = wordsOf(setting.setting);
        const QString given = parser.value(name);
        const auto chosen = std::find_if(words.cbegin(), words.cend(), [&](const SettingWord &w) {
            return w.word == given.toLower();
        });
        if (chosen == words.cend())
            return usageError(QStringLiteral("--%1 takes %2, not \"%3\"")
                                  .arg(name, textsOf(words).join(QStringLiteral(", ")), given));
        chosen->apply(options.lineSettings);
    }
    command.action = CaptureAction::Capture;
    return command;
}
