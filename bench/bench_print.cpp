// Printing figures: tessary-print on generated listings of 2,000, 10,000 and
// 62,000 lines, beside enscript and paps (each piped into ps2pdf) where
// installed; and on the same listings with a line in four drawn in the
// PC-1600's own characters, beside enscript in its IBM PC set, code page 437
// (-X ibmpc). Times are the median of three runs (paps: one, it is slow).
//
//   bench_print TESSARY_PRINT [WORK_DIR]
//
// Prints one "name: value" line per figure.

#include "support/Listings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run {
    bool ok = false;
    double seconds = 0;
    double peakMb = 0;
};

Run runShell(const QString &command)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.toLocal8Bit().constData(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.peakMb = usage.ru_maxrss / 1024.0;
    return run;
}

bool installed(const char *program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

// tessary-print writes the number of pages it printed.
int pagesWritten(const QString &stdoutFile)
{
    QFile file(stdoutFile);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray digits = file.readAll().trimmed();
    return digits.split(' ').constFirst().toInt();
}

void report(const char *name, int lines, const Run &run, double pages, const Run *ours)
{
    std::printf("%s_%d_ok: %s\n", name, lines, run.ok ? "yes" : "no");
    std::printf("%s_%d_seconds: %.3f\n", name, lines, run.seconds);
    if (pages > 0)
        std::printf("%s_%d_pages_per_second: %.0f\n", name, lines, pages / run.seconds);
    std::printf("%s_%d_peak_mb: %.1f\n", name, lines, run.peakMb);
    if (ours)
        std::printf("%s_%d_ratio_to_ours: %.1f\n", name, lines, run.seconds / ours->seconds);
}

// The run with the median time of three.
Run medianOfThree(const QString &command)
{
    Run runs[3] = {runShell(command), runShell(command), runShell(command)};
    std::sort(std::begin(runs), std::end(runs),
              [](const Run &a, const Run &b) { return a.seconds < b.seconds; });
    return runs[1];
}

// Umlauts, Greek and a box at the end of every fourth line.
QByteArray withPc1600Characters(const QByteArray &listing)
{
    QByteArray out;
    int line = 0;
    for (const QByteArray &each : listing.split('\n')) {
        if (each.isEmpty())
            continue;
        out += each.chopped(1); // its CR
        if (++line % 4 == 0)
            out += " \x84\x94\x81\xe1 \xe0\xe3\xe4 \xc9\xcd\xcd\xbb";
        out += "\r\n";
    }
    return out;
}

bool writeListing(const QString &path, const QByteArray &listing)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(listing) == listing.size();
}

// tessary-print's median run on a listing, and its pages.
Run printOurs(const QString &tessaryPrint, const QString &input, const QString &pdf, int &pages)
{
    const QString pagesFile = pdf + QStringLiteral(".pages");
    const Run ours = medianOfThree(
        QStringLiteral("'%1' '%2' '%3' >'%4'").arg(tessaryPrint, input, pdf, pagesFile));
    pages = pagesWritten(pagesFile);
    return ours;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_print TESSARY_PRINT [WORK_DIR]\n");
        return 2;
    }
    const QString tessaryPrint = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir temporary;
    const QString work = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    QDir().mkpath(work);
    const bool haveEnscript = installed("enscript") && installed("ps2pdf");
    const bool havePaps = installed("paps") && installed("ps2pdf");

    // A listing as long as a PC-1600 holds, and two far longer ones to
    // compare with the usual Unix pipelines.
    for (const int lines : {2000, 10000, 62000}) {
        const QString input = QStringLiteral("%1/listing-%2.txt").arg(work).arg(lines);
        const QString inSet = QStringLiteral("%1/listing-pc1600-%2.txt").arg(work).arg(lines);
        if (!writeListing(input, basicListing(lines)) ||
            !writeListing(inSet, withPc1600Characters(basicListing(lines)))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(input));
            return 1;
        }
        int pages = 0;
        const Run ours = printOurs(tessaryPrint, input,
                                   QStringLiteral("%1/tessary-%2.pdf").arg(work).arg(lines), pages);
        std::printf("input_%d_bytes: %lld\n", lines,
                    static_cast<long long>(QFileInfo(input).size()));
        std::printf("tessary_%d_pages: %d\n", lines, pages);
        report("tessary", lines, ours, pages, nullptr);
        if (lines == 2000)
            continue;
        int setPages = 0;
        const Run oursInSet =
            printOurs(tessaryPrint, inSet,
                      QStringLiteral("%1/tessary-pc1600-%2.pdf").arg(work).arg(lines), setPages);
        report("tessary_pc1600_set", lines, oursInSet, setPages, nullptr);

        if (haveEnscript) {
            const QString enscript =
                QStringLiteral("enscript -q -B -L62 %1 -fHelvetica10 -p - '%2' | ps2pdf - '%3'");
            report(
                "enscript", lines,
                medianOfThree(enscript.arg(
                    QString(), input, QStringLiteral("%1/enscript-%2.pdf").arg(work).arg(lines))),
                pages, &ours);
            report("enscript_ibmpc", lines,
                   medianOfThree(enscript.arg(
                       QStringLiteral("-X ibmpc"), inSet,
                       QStringLiteral("%1/enscript-ibmpc-%2.pdf").arg(work).arg(lines))),
                   setPages, &oursInSet);
        } else {
            std::printf("enscript_%d: not installed\n", lines);
        }
        if (havePaps) {
            const Run paps = runShell(
                QStringLiteral(
                    "paps --font='Helvetica 10' '%1' 2>/dev/null | ps2pdf - '%2/paps-%3.pdf'")
                    .arg(input, work)
                    .arg(lines));
            report("paps", lines, paps, pages, &ours);
        } else {
            std::printf("paps_%d: not installed\n", lines);
        }
    }
    return 0;
}
