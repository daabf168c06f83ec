// Prints a file of received text to PDF exactly as a print job would, with
// no dialog: tessary-print [--paper A4|Letter] IN OUT

#include "HeadlessApp.h"
#include "PrintProgress.h"
#include "SafeOutput.h"
#include "printjob/PrintJob.h"
#include "toolkit/Waiting.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kUsageError = 2;
constexpr int kFailure = 1;

struct Arguments {
    QString input;
    QString output;
    QPageSize paper {QPageSize::A4};
};

const char kUsage[] =
    "Usage: tessary-print [--paper A4|Letter] IN OUT\n"
    "Prints a file of text received from a Sharp PC-1600 into a PDF, in the pages\n"
    "of 62 lines that the Tessary window prints (Helvetica 10; lines end at LF,\n"
    "CR LF or CR).\n"
    "\n"
    "  IN               the received text; - for standard input\n"
    "  OUT              the PDF; - for standard output. A file is written under a\n"
    "                   temporary name and renamed when complete.\n"
    "  --paper SIZE     A4 (default) or Letter\n"
    "  -h, --help       this text\n"
    "  --version        the version\n"
    "\n"
    "The number of pages goes to standard output, or to standard error when OUT\n"
    "is -. Exit status: 0 printed (or IN empty), 1 failed, 2 bad usage.\n";

int usageError(const QString &reason)
{
    say(reason);
    std::fputs(kUsage, stderr);
    return kUsageError;
}

int failure(const QString &reason)
{
    say(reason);
    return kFailure;
}

// Reads all of IN ("-": standard input); nothing, with the reason, when it
// cannot.
std::optional<QByteArray> readInput(const QString &path, QString &error)
{
    QFile in;
    const bool opened = path == QLatin1String("-")
        ? in.open(STDIN_FILENO, QIODevice::ReadOnly)
        : (in.setFileName(path), in.open(QIODevice::ReadOnly));
    if (!opened) {
        // Qt words a folder its own way; the other failures carry the system's text.
        error = QFileInfo(path).isDir() ? QString::fromLocal8Bit(std::strerror(EISDIR))
                                        : in.errorString();
        return std::nullopt;
    }
    QByteArray text = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        error = in.errorString();
        return std::nullopt;
    }
    return text;
}

// The same file under two names (or one name twice), hard links included.
bool sameFile(const QString &a, const QString &b)
{
    if (a == QLatin1String("-") || b == QLatin1String("-"))
        return false;
    struct stat sa { };
    struct stat sb { };
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

int main(int argc, char *argv[])
{
    keepFreedMemory();
    HeadlessApp app(argc, argv, QStringLiteral("tessary-print"));

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption paperOption(QStringLiteral("paper"), QString(), QStringLiteral("size"),
                                         QStringLiteral("A4"));
    const QCommandLineOption helpOption(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOptions({paperOption, helpOption, versionOption});

    if (!parser.parse(app.arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("tessary-print %s\n", TESSARY_VERSION);
        return 0;
    }
    Arguments args;
    const std::optional<QPageSize> paper = paperNamed(parser.value(paperOption));
    if (!paper)
        return usageError(
            QStringLiteral("unknown paper \"%1\" (A4 or Letter)").arg(parser.value(paperOption)));
    args.paper = *paper;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        return usageError(files.size() < 2 ? QStringLiteral("IN and OUT are needed")
                                           : QStringLiteral("more than IN and OUT given"));
    args.input = files[0];
    args.output = files[1];
    if (sameFile(args.input, args.output))
        return failure(QStringLiteral("%1 is both IN and OUT; the listing would be overwritten")
                           .arg(args.output));

    QString error;
    const std::optional<QByteArray> text = readInput(args.input, error);
    if (!text)
        return failure(QStringLiteral("cannot read %1: %2").arg(args.input, error));
    if (text->isEmpty()) {
        say(QStringLiteral("%1 is empty: nothing printed, %2 left as it was")
                .arg(args.input, args.output));
        return 0;
    }

    SafeOutput::removeTemporaryOnSignal();
    SafeOutput out(args.output);
    if (!out.open())
        return failure(QStringLiteral("cannot write %1: %2").arg(args.output, out.errorString()));

    NoYield yield;
    PrintProgress progress(*text);
    const PrintOutcome outcome =
        PrintTextToPdf(*text, out.device(), args.paper, yield, progress.pageDone());
    progress.finish();
    if (outcome.failed) {
        out.discard();
        return failure(QStringLiteral("printing to %1 failed: no font to draw Helvetica with "
                                      "(install fonts-urw-base35)")
                           .arg(args.output));
    }
    if (!out.commit())
        return failure(QStringLiteral("cannot write %1: %2").arg(args.output, out.errorString()));

    if (args.output == QLatin1String("-"))
        say(outcome.sheets == 1 ? QStringLiteral("1 page")
                                : QStringLiteral("%1 pages").arg(outcome.sheets));
    else
        std::printf("%d\n", outcome.sheets);
    return 0;
}
