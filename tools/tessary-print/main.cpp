// Prints a file of received text to PDF exactly as a print job would, with
// no dialog: tessary-print [--paper A4|Letter] [--charset pc1600|latin1] IN OUT

#include "AtomicFile.h"
#include "CharsetOption.h"
#include "CommandLine.h"
#include "Counted.h"
#include "HeadlessApp.h"
#include "MemoryTuning.h"
#include "MissingFont.h"
#include "Paper.h"
#include "Say.h"
#include "SignalPath.h"
#include "StatusLine.h"
#include "printjob/Pagination.h"
#include "printjob/PrintJob.h"
#include "toolkit/Waiting.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kFailure = 1;
// Links followed from OUT to the file they name, at most.
constexpr int kMostLinks = 128;
// A job done within this time shows no progress.
constexpr qint64 kQuietProgressMs = 1000;

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

// Where the PDF goes: standard output or a device (a pipe, a terminal) is
// written straight, as there is nothing to rename there; a file is written
// beside itself and takes its name when complete, so that a failed or
// interrupted run leaves an earlier one as it was. A link is followed to
// the file it names.
class Output {
public:
    explicit Output(const QString &path) : m_stdout(path == QLatin1String("-"))
    {
        QFileInfo target(path);
        if (m_stdout || (target.exists() && !target.isFile())) {
            m_direct.setFileName(path);
            return;
        }
        for (int links = 0; links < kMostLinks && target.isSymLink(); ++links)
            target.setFile(target.symLinkTarget());
        m_target = target.filePath();
        m_file = std::make_unique<AtomicFile>(m_target + QStringLiteral(".XXXXXX"));
    }
    bool open()
    {
        return m_file  ? m_file->open(true)
            : m_stdout ? m_direct.open(STDOUT_FILENO, QIODevice::WriteOnly)
                       : m_direct.open(QIODevice::WriteOnly);
    }
    QFileDevice *device() { return m_file ? m_file->device() : &m_direct; }
    bool commit()
    {
        return m_file
            ? m_file->commit(m_target, AtomicFile::Naming::Replace) == AtomicFile::Placed::Done
            : m_direct.flush() && m_direct.error() == QFileDevice::NoError;
    }
    QString errorString() const { return m_file ? m_file->errorString() : m_direct.errorString(); }

private:
    bool m_stdout;
    QString m_target;
    QFile m_direct;
    std::unique_ptr<AtomicFile> m_file;
};

// What --help says before and after the options.
CommandLine printCommandLine()
{
    return CommandLine(
        QStringLiteral(
            "Usage: tessary-print [--paper A4|Letter] [--charset pc1600|latin1] IN OUT\n"
            "Prints a file of text received from a Sharp PC-1600 into a PDF, in the pages\n"
            "of 62 lines that the Tessary window prints (Helvetica 10; lines end at LF,\n"
            "CR LF or CR; bytes above 127 in the PC-1600's character set, code page 437,\n"
            "as Unicode maps it).\n"),
        QStringLiteral(
            "The number of pages goes to standard output, or to standard error when OUT\n"
            "is -. A job that takes more than a second shows its progress on a terminal.\n"
            "Exit status: 0 printed (or IN empty), 1 failed, 2 bad usage.\n"));
}

struct PrintRequest {
    QString input;
    QString output;
    QPageSize paper;
    CharacterSet charset = CharacterSet::Pc1600;
};

// Reads the arguments into `request`; the exit status when they end the
// program here (--help, --version, a usage error, IN and OUT the same).
std::optional<int> readRequest(CommandLine &line, const QStringList &arguments,
                               PrintRequest &request)
{
    line.parser().addPositionalArgument(QStringLiteral("IN"),
                                        QStringLiteral("the received text; - for standard input"));
    line.parser().addPositionalArgument(
        QStringLiteral("OUT"),
        QStringLiteral("the PDF; - for standard output. A file is written "
                       "under a temporary name and renamed when complete."));
    line.parser().setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    line.add(QCommandLineOption(QStringLiteral("paper"), QStringLiteral("A4 (default) or Letter"),
                                QStringLiteral("SIZE"), QStringLiteral("A4")));
    line.add(charsetOption());
    if (const std::optional<int> status = line.parse(arguments))
        return status;
    const QString paperName = line.parser().value(QStringLiteral("paper"));
    const std::optional<QPageSize> paper = paperNamed(paperName);
    if (!paper)
        return line.usageError(
            QStringLiteral("unknown paper \"%1\" (A4 or Letter)").arg(paperName));
    QString charsetError;
    const std::optional<CharacterSet> charset = charsetOf(line.parser(), charsetError);
    if (!charset)
        return line.usageError(charsetError);
    const QStringList files = line.parser().positionalArguments();
    if (files.size() != 2)
        return line.usageError(files.size() < 2 ? QStringLiteral("IN and OUT are needed")
                                                : QStringLiteral("more than IN and OUT given"));
    request = {files[0], files[1], *paper, *charset};
    if (sameFile(request.input, request.output))
        return failure(QStringLiteral("%1 is both IN and OUT; the listing would be overwritten")
                           .arg(request.output));
    return std::nullopt;
}

// The number of pages, where the user reads it.
int reportPages(int sheets, const QString &output)
{
    if (output == QLatin1String("-"))
        say(counted(sheets, "page", "pages"));
    else if (std::printf("%d\n", sheets) < 0 || std::fflush(stdout) != 0)
        return failure(QStringLiteral("cannot write the page count: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
    return 0;
}

// Prints the text into OUT, showing "page N of M" on a terminal while a
// long job runs; the exit status.
int printText(const QByteArray &text, const PrintRequest &request)
{
    const SignalPath endOnSignal;
    Output out(request.output);
    if (!out.open())
        return failure(
            QStringLiteral("cannot write %1: %2").arg(request.output, out.errorString()));

    StatusLine progress(::isatty(STDERR_FILENO) ? stderr : nullptr);
    const int totalPages = countPages(text);
    QElapsedTimer clock;
    clock.start();
    const PageDone pageDone = [&](int pages) {
        if (clock.elapsed() >= kQuietProgressMs)
            progress.show(QStringLiteral("page %1 of %2").arg(pages).arg(totalPages),
                          pages == totalPages);
    };
    NoYield yield;
    const PrintOutcome outcome =
        PrintTextToPdf(text, out.device(), request.paper, yield,
                       progress.isOn() ? pageDone : PageDone(), request.charset);
    progress.hide();
    // Pages cut short by a write that failed are told by the write.
    if (outcome.failed && out.device()->error() == QFileDevice::NoError)
        return failure(
            QStringLiteral("printing to %1 failed: %2").arg(request.output, missingFontReason()));
    if (!out.commit())
        return failure(
            QStringLiteral("cannot write %1: %2").arg(request.output, out.errorString()));
    return reportPages(outcome.sheets, request.output);
}

} // namespace

int main(int argc, char *argv[])
{
    keepFreedMemory();
    HeadlessApp app(argc, argv, QStringLiteral("tessary-print"));
    CommandLine line = printCommandLine();
    PrintRequest request;
    if (const std::optional<int> status = readRequest(line, app.arguments(), request))
        return *status;

    QString error;
    const std::optional<QByteArray> text = readInput(request.input, error);
    if (!text)
        return failure(QStringLiteral("cannot read %1: %2").arg(request.input, error));
    if (text->isEmpty()) {
        say(QStringLiteral("%1 is empty: nothing printed, %2 left as it was")
                .arg(request.input, request.output));
        return 0;
    }
    return printText(*text, request);
}
