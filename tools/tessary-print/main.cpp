// Prints a file of received text to PDF exactly as a print job would, with
// no dialogs: tessary-print IN OUT.pdf [--paper A4|Letter] [--engine direct|qt]
//
// The direct engine writes the PDF itself; the qt engine draws through
// QPrinter, slower, for comparison.

#include "printjob/PrintJob.h"
#include "toolkit/PdfWriterGraphics.h"
#include "toolkit/QtPrinting.h"
#include "toolkit/Waiting.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageSize>

#include <cstdio>
#include <malloc.h>
#include <memory>
#include <optional>

namespace {
struct Arguments {
    QString input;
    QString output;
    QPageSize paper {QPageSize::A4};
    bool qtEngine = false;
};

int fail(const QString &reason)
{
    std::fprintf(stderr, "tessary-print: %s\n", qUtf8Printable(reason));
    return 1;
}

std::optional<QPageSize> paperNamed(const QString &name)
{
    if (name.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0)
        return QPageSize(QPageSize::A4);
    if (name.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0)
        return QPageSize(QPageSize::Letter);
    return std::nullopt;
}

std::optional<Arguments> parse(const QStringList &args, QString &error)
{
    Arguments parsed;
    QStringList positional;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--paper")) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--paper needs A4 or Letter");
                return std::nullopt;
            }
            const auto paper = paperNamed(args[++i]);
            if (!paper) {
                error = QStringLiteral("unknown paper \"%1\" (A4 or Letter)").arg(args[i]);
                return std::nullopt;
            }
            parsed.paper = *paper;
        } else if (arg == QLatin1String("--engine")) {
            const QString engine = i + 1 < args.size() ? args[++i] : QString();
            if (engine != QLatin1String("direct") && engine != QLatin1String("qt")) {
                error = QStringLiteral("--engine needs direct or qt");
                return std::nullopt;
            }
            parsed.qtEngine = engine == QLatin1String("qt");
        } else if (arg.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option %1").arg(arg);
            return std::nullopt;
        } else {
            positional << arg;
        }
    }
    if (positional.size() != 2) {
        error = QStringLiteral(
            "usage: tessary-print IN OUT.pdf [--paper A4|Letter] [--engine direct|qt]");
        return std::nullopt;
    }
    parsed.input = positional[0];
    parsed.output = positional[1];
    return parsed;
}

// Never a device or whatever a link points to: only a file this tool wrote.
void removeIfPlainFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile() && !info.isSymLink())
        QFile::remove(path);
}

// Counts nothing and hands out no turns: there is no window to keep alive.
class NoYield : public Yield {
public:
    void yield() override { }
};
} // namespace

int main(int argc, char *argv[])
{
    // Qt's PDF engine allocates and frees a large buffer for every page;
    // keeping freed memory instead of handing it back saves page faults.
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TOP_PAD, 16 * 1024 * 1024);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString error;
    const auto args = parse(QCoreApplication::arguments(), error);
    if (!args)
        return fail(error);

    QFile in(args->input);
    if (!in.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(args->input, in.errorString()));
    const QByteArray text = in.readAll();
    in.close();
    if (text.isEmpty()) {
        // Nothing received, nothing printed; an older PDF by that name must
        // not pass for this one.
        if (QFileInfo(args->output) != QFileInfo(args->input))
            removeIfPlainFile(args->output);
        std::printf("0\n");
        return 0;
    }

    QFile out(args->output);
    if (!out.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1: %2").arg(args->output, out.errorString()));
    out.close();

    DialoglessPrintService printing([&]() -> std::unique_ptr<PrinterGraphics> {
        if (args->qtEngine)
            return std::make_unique<QtPrinterGraphics>(pdfPrinter(args->output, args->paper));
        return std::make_unique<PdfWriterGraphics>(args->output, args->paper);
    });
    NoYield yield;
    const PrintOutcome outcome = PrintReceivedText(text, printing, yield);
    if (outcome.failed) {
        removeIfPlainFile(args->output); // a partial PDF is no print
        return fail(QStringLiteral("printing to %1 failed: no font to draw with, or the file "
                                   "could not be written")
                        .arg(args->output));
    }
    std::printf("%d\n", outcome.sheets);
    return 0;
}
