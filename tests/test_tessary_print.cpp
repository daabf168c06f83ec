#include "printjob/PrintJob.h"
#include "support/FakeToolkit.h"
#include "support/Files.h"
#include "support/Listings.h"
#include "support/PdfText.h"
#include "support/Process.h"
#include "support/Pty.h"
#include "support/RecordingPrinter.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
const QString kProgram = QStringLiteral("tessary-print");

ProcessResult tessaryPrint(const QStringList &args, ProcessOptions options = {})
{
    return runProcess(QStringLiteral(TESSARY_PRINT_PATH), args, options);
}

// Whether the process holds a file open in OUT's folder other than OUT
// itself and the listing: its temporary file, named or not.
bool writesBeside(qint64 pid, const QString &out)
{
    const QString folder = QFileInfo(out).absolutePath() + '/';
    for (const QString &file : openFiles(pid)) {
        if (file.startsWith(folder) && file != out && !file.contains(QLatin1String(".txt")))
            return true;
    }
    return false;
}
} // namespace

class TessaryPrintTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_in = m_dir.filePath(QStringLiteral("in.txt"));
        QVERIFY(writeFile(m_in, numberedLines(185)));
    }
    void init()
    {
        // Every case starts with an old PDF in place, which a failure must keep.
        m_out = m_dir.filePath(QStringLiteral("out.pdf"));
        QVERIFY(writeFile(m_out, "%PDF-old"));
    }
    void cleanup()
    {
        // A run leaves no temporary file behind, whatever its end.
        QCOMPARE(temporaryFiles(), QStringList());
    }

    void printsWithOptionsAnywhere_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("size");
        const QString in = QStringLiteral("IN");
        const QString out = QStringLiteral("OUT");
        QTest::newRow("default paper") << QStringList {in, out} << "595 x 842 pts (A4)";
        QTest::newRow("paper first")
            << QStringList {"--paper", "Letter", in, out} << "612 x 792 pts (letter)";
        QTest::newRow("paper between")
            << QStringList {in, "--paper=a4", out} << "595 x 842 pts (A4)";
        QTest::newRow("paper last")
            << QStringList {in, out, "--paper", "LETTER"} << "612 x 792 pts (letter)";
    }
    void printsWithOptionsAnywhere()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, size);
        const ProcessResult run = tessaryPrint(withPaths(args));
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("3\n"));
        QCOMPARE(ownMessages(run.err, kProgram), QStringList());
        QCOMPARE(pdfPageCount(m_out), 3);
        QCOMPARE(pdfPageSize(m_out), size);
        QCOMPARE(nonEmptyLines(pdfPages(m_out).value(2)).size(), 185 - 2 * 62);
    }

    // One engine: the file shows the very pages the window prints.
    void samePagesAsTheWindowPrints()
    {
        const QByteArray text = sampleListing(130) + "\t\x01\xe4\xff" + QByteArray(300, 'W');
        QVERIFY(writeFile(m_in + ".sample", text));
        QCOMPARE(tessaryPrint({m_in + ".sample", m_out}).exitCode, 0);

        RecordingPrintService window;
        window.pdfPath = m_dir.filePath(QStringLiteral("window.pdf"));
        CountingYield yield;
        QVERIFY(!PrintReceivedText(text, window, yield).failed);

        const QList<PdfWord> printed = pdfWords(window.pdfPath);
        const QList<PdfWord> filed = pdfWords(m_out);
        QVERIFY(printed.size() > 130);
        QCOMPARE(filed.size(), printed.size());
        for (int i = 0; i < printed.size(); ++i) {
            QCOMPARE(filed[i].page, printed[i].page);
            QCOMPARE(filed[i].text, printed[i].text);
            QCOMPARE(filed[i].box, printed[i].box);
        }
    }

    // What a reader of the PDF finds of the bytes: the PC-1600's own
    // characters, or Latin-1 when asked.
    void charactersOnPaper_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("German") << QByteArray("10 REM Gr\x81\xe1"
                                              "e aus M\x81nchen")
                                << QStringList() << QStringList {"10 REM Grüße aus München"};
        QTest::newRow("Greek and signs")
            << QByteArray("\xe0\xe1\xe3\xe4\xea\xfb\xec\xf1\xf2\xf3\xf6\xf7") << QStringList()
            << QStringList {"αßπΣΩ√∞±≥≤÷≈"};
        QTest::newRow("a box") << QByteArray("\xc9\xcd\xcd\xcd\xbb\r\n\xba\xb0\xb1\xb2\xdb\xba")
                               << QStringList() << QStringList {"╔═══╗", "║░▒▓█║"};
        QByteArray upper;
        for (int c = 128; c < 256; ++c)
            upper += char(c) + QByteArray(c % 16 == 15 ? "\n" : "");
        QTest::newRow("all 128 codes above 127")
            << upper << QStringList()
            << QStringList {"ÇüéâäàåçêëèïîìÄÅ", "ÉæÆôöòûùÿÖÜ¢£¥₧ƒ", "áíóúñÑªº¿⌐¬½¼¡«»",
                            "░▒▓│┤╡╢╖╕╣║╗╝╜╛┐", "└┴┬├─┼╞╟╚╔╩╦╠═╬╧", "╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀",
                            "αßΓπΣσµτΦΘΩδ∞φε∩", "≡±≥≤⌠⌡÷≈°∙·√ⁿ²■"};
        QTest::newRow("latin1") << QByteArray("Gr\x81\xe1"
                                              "e M\xfcnchen \xe9\xff\xbd")
                                << QStringList {"--charset", "latin1"}
                                << QStringList {"Gráe Münchenéÿ½"};
    }
    void charactersOnPaper()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, args);
        QFETCH(QStringList, lines);
        QVERIFY(writeFile(m_in + ".chars", text));
        const ProcessResult run = tessaryPrint(args << m_in + ".chars" << m_out);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(ownMessages(run.err, kProgram), QStringList());
        QStringList printed = nonEmptyLines(pdfPages(m_out).value(0));
        for (QString &line : printed)
            line = withoutSpaces(line);
        for (QString &line : lines)
            line = withoutSpaces(line);
        QCOMPARE(printed, lines);
    }

    // Sheets with nothing drawn on them are pages all the same, and the
    // file is one that Debian's print filters (Ghostscript) accept.
    void blankSheetsMakeAValidPdf_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("pages");
        QTest::newRow("only line ends") << QByteArray(200, '\n') << 4;
        QTest::newRow("only control bytes") << QByteArray("\x01\x02\x1b\x7f\x0c\x07") << 1;
        QTest::newRow("62 empty lines in between")
            << numberedLines(62) + QByteArray(62, '\n') + numberedLines(10) << 3;
        // One page of 62 lines, each too wide for the paper: two sheets.
        QTest::newRow("62 lines that wrap")
            << QByteArray(QByteArray(70, 'W') + "\r\n").repeated(62) << 2;
    }
    void blankSheetsMakeAValidPdf()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, pages);
        QVERIFY(writeFile(m_in + ".blank", text));
        const ProcessResult run = tessaryPrint({m_in + ".blank", m_out});
        QCOMPARE(run.exitCode, 0);
        // The count it prints is of the sheets in the file.
        QCOMPARE(run.out, QByteArray::number(pages) + '\n');
        QCOMPARE(pdfPageCount(m_out), pages);
        const ProcessResult gs = runProcess(QStringLiteral("gs"),
                                            {"-q", "-dNOPAUSE", "-dBATCH", "-dSAFER",
                                             "-dPDFSTOPONERROR", "-sDEVICE=nullpage", m_out});
        QVERIFY2(gs.exitCode == 0, (gs.out + gs.err).constData());
        const ProcessResult qpdf = runProcess(QStringLiteral("qpdf"), {"--check", m_out});
        QVERIFY2(qpdf.exitCode == 0, (qpdf.out + qpdf.err).constData());
    }

    // With OUT "-" only the PDF goes to standard output and the page count
    // to standard error; otherwise the count goes to standard output.
    void pageCountGoesWhereThePdfDoesNot_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("- -") << "-"
                             << "-";
        QTest::newRow("IN -") << "IN"
                              << "-";
        QTest::newRow("- OUT") << "-"
                               << "OUT";
    }
    void pageCountGoesWhereThePdfDoesNot()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        ProcessOptions options;
        if (in == QLatin1String("-"))
            options.input = numberedLines(100);
        const int pages = in == QLatin1String("-") ? 2 : 3;
        const ProcessResult run = tessaryPrint(withPaths({in, out}), options);
        QCOMPARE(run.exitCode, 0);
        QString pdf = m_out;
        if (out == QLatin1String("-")) {
            QVERIFY(run.out.startsWith("%PDF-"));
            QVERIFY2(run.out.trimmed().endsWith("%%EOF"), run.out.right(40).constData());
            QCOMPARE(run.out.count("%PDF-"), 1);
            QCOMPARE(ownMessages(run.err, kProgram),
                     QStringList {QStringLiteral("tessary-print: %1 pages").arg(pages)});
            pdf = m_dir.filePath(QStringLiteral("piped.pdf"));
            QVERIFY(writeFile(pdf, run.out));
        } else {
            QCOMPARE(run.out, QByteArray::number(pages) + '\n');
            QCOMPARE(ownMessages(run.err, kProgram), QStringList());
        }
        QCOMPARE(pdfPageCount(pdf), pages);
    }

    void helpAndVersion_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("expected");
        QTest::newRow("help")
            << "--help"
            << "Usage: tessary-print [--paper A4|Letter] [--charset pc1600|latin1] IN OUT";
        QTest::newRow("version") << "--version"
                                 << "tessary-print 1.0";
    }
    void helpAndVersion()
    {
        QFETCH(QString, option);
        QFETCH(QString, expected);
        const ProcessResult run = tessaryPrint({option});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(QString::fromUtf8(run.out).contains(expected), run.out.constData());
        QCOMPARE(ownMessages(run.err, kProgram), QStringList());
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no arguments") << QStringList {} << "IN and OUT are needed";
        QTest::newRow("one argument") << QStringList {"IN"} << "IN and OUT are needed";
        QTest::newRow("three files") << QStringList {"IN", "OUT", "OUT"} << "more than IN and OUT";
        QTest::newRow("unknown paper")
            << QStringList {"IN", "OUT", "--paper", "A3"} << "unknown paper \"A3\"";
        QTest::newRow("paper without value") << QStringList {"IN", "OUT", "--paper"} << "paper";
        QTest::newRow("unknown character set")
            << QStringList {"--charset", "cp850", "IN", "OUT"}
            << "unknown character set \"cp850\" (pc1600 or latin1)";
        QTest::newRow("unknown option") << QStringList {"IN", "OUT", "--fast"} << "fast";
        QTest::newRow("Qt's own option")
            << QStringList {"-platform", "xcb", "IN", "OUT"} << "unrecognized option '-platform'";
    }
    void badUsage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        const ProcessResult run = tessaryPrint(withPaths(args));
        QCOMPARE(run.exitCode, 2);
        // One line, and where to read more.
        const QStringList lines = QString::fromUtf8(run.err).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(kProgram + ": ") && lines[0].contains(reason),
                 qPrintable(lines[0]));
        QCOMPARE(lines[1], QStringLiteral("Try 'tessary-print --help' for more information."));
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(contentOf(m_out), QByteArray("%PDF-old"));
    }

    void failuresLeaveTheOldFile_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing input")
            << QStringList {"NONE", "OUT"} << "cannot read NONE: No such file or directory";
        QTest::newRow("input is a folder")
            << QStringList {"DIR", "OUT"} << "cannot read DIR: Is a directory";
        QTest::newRow("no such folder for the output")
            << QStringList {"IN", "/nonexistent-dir/x.pdf"}
            << "cannot write /nonexistent-dir/x.pdf";
        QTest::newRow("full device")
            << QStringList {"IN", "/dev/full"} << "cannot write /dev/full: No space left on device";
        QTest::newRow("IN is OUT") << QStringList {"OUT", "OUT"} << "is both IN and OUT";
        QTest::newRow("OUT a hard link to IN")
            << QStringList {"OUT", "LINK"} << "is both IN and OUT";
        QTest::newRow("OUT a symbolic link to IN")
            << QStringList {"OUT", "ALIAS"} << "is both IN and OUT";
    }
    void failuresLeaveTheOldFile()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        const QString link = m_dir.filePath(QStringLiteral("link.pdf"));
        const QString alias = m_dir.filePath(QStringLiteral("alias.pdf"));
        QFile::remove(link);
        QFile::remove(alias);
        QVERIFY(::link(QFile::encodeName(m_out).constData(), QFile::encodeName(link).constData()) ==
                0);
        QVERIFY(QFile::link(m_out, alias));
        reason.replace(QStringLiteral("NONE"), m_dir.filePath("none.txt"));
        reason.replace(QStringLiteral("DIR"), m_dir.path());
        const ProcessResult run = tessaryPrint(withPaths(args));
        QCOMPARE(run.exitCode, 1);
        const QStringList messages = ownMessages(run.err, kProgram);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(reason), qPrintable(messages[0]));
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(contentOf(m_out), QByteArray("%PDF-old"));
    }

    // OUT is written, but its page count cannot be: not a success.
    void pageCountThatCannotBeWrittenFails()
    {
        ProcessOptions options;
        options.inChild = [] { ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO); };
        const ProcessResult run = tessaryPrint({m_in, m_out}, options);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(ownMessages(run.err, kProgram),
                 QStringList {kProgram + ": cannot write the page count: No space left on device"});
    }

    // The disk fills up halfway through the PDF.
    void diskFullKeepsTheOldFile()
    {
        const QString big = m_dir.filePath(QStringLiteral("big.txt"));
        QVERIFY(writeFile(big, basicListing(3000)));
        ProcessOptions options;
        options.inChild = [] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit {20000, 20000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        };
        const ProcessResult run = tessaryPrint({big, m_out}, options);
        QCOMPARE(run.exitCode, 1);
        const QStringList messages = ownMessages(run.err, kProgram);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains("cannot write " + m_out + ": File too large"),
                 qPrintable(messages[0]));
        QCOMPARE(contentOf(m_out), QByteArray("%PDF-old"));
    }

    // The PDF is written under a temporary name beside OUT, which a signal
    // must take away with it.
    void interruptedRunLeavesNothingHalfDone_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void interruptedRunLeavesNothingHalfDone()
    {
        QFETCH(int, signal);
        const QString big = m_dir.filePath(QStringLiteral("huge.txt"));
        if (!QFile::exists(big))
            QVERIFY(writeFile(big, basicListing(200000)));
        ProgramRun run(QStringLiteral(TESSARY_PRINT_PATH));
        QVERIFY(run.start({big, m_out}));
        // Strike while the PDF is being written beside OUT.
        QTRY_VERIFY_WITH_TIMEOUT(writesBeside(run.pid(), m_out), 30000);
        QCOMPARE(temporaryFiles().size(), 1);
        QCOMPARE(run.stop(signal), -1);
        QCOMPARE(run.exitStatus(), QProcess::CrashExit);
        QCOMPARE(contentOf(m_out), QByteArray("%PDF-old"));
        QCOMPARE(temporaryFiles(), QStringList());
    }

    // OUT that is a link: the file it names takes the PDF and keeps its
    // permissions; the link stays a link.
    void outputThroughALink()
    {
        const QString target = m_dir.filePath(QStringLiteral("kept/listing.pdf"));
        QVERIFY(QDir().mkpath(QFileInfo(target).path()));
        QVERIFY(writeFile(target, "%PDF-old"));
        QVERIFY(
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(QFile::remove(m_out) && QFile::link(target, m_out));
        QCOMPARE(tessaryPrint({m_in, m_out}).exitCode, 0);
        QVERIFY(QFileInfo(m_out).isSymLink());
        QCOMPARE(pdfPageCount(target), 3);
        // Owner, group and others, as the system has them for this user.
        QCOMPARE(QFileInfo(target).permissions() & 0x0fff,
                 QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
        QCOMPARE(namesIn(QFileInfo(target).path()), QStringList {"listing.pdf"});
    }

    void emptyInputLeavesOutAlone()
    {
        const QString empty = m_dir.filePath(QStringLiteral("empty.txt"));
        QVERIFY(writeFile(empty, QByteArray()));
        const ProcessResult run = tessaryPrint({empty, m_out});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray());
        const QStringList messages = ownMessages(run.err, kProgram);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains("is empty"), qPrintable(messages[0]));
        QCOMPARE(contentOf(m_out), QByteArray("%PDF-old"));
    }

    void needsNoDisplay_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::newRow("xcb") << "xcb";
        QTest::newRow("wayland") << "wayland";
        QTest::newRow("nonsense") << "nonsense";
    }
    void needsNoDisplay()
    {
        QFETCH(QString, platform);
        ProcessOptions options;
        options.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        options.environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
        options.environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-97"));
        const ProcessResult run = tessaryPrint({m_in, m_out}, options);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("3\n"));
    }

    // A font with other widths still prints, with a warning that says what
    // to install; no font at all is a failure, not blank pages.
    void fontCheck()
    {
        const QString fonts = m_dir.filePath(QStringLiteral("fonts"));
        QVERIFY(QDir().mkpath(fonts));
        const QString serif = QStringLiteral("/usr/share/fonts/opentype/urw-base35/C059-Roman.otf");
        QVERIFY2(QFile::exists(serif), "fonts-urw-base35 is needed");
        QFile::copy(serif, fonts + "/C059-Roman.otf");
        const QString oneFont = m_dir.filePath(QStringLiteral("one-font.conf"));
        QVERIFY(writeFile(oneFont,
                          "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + fonts.toUtf8() +
                              "</dir><cachedir>" + fonts.toUtf8() + "</cachedir></fontconfig>\n"));
        const QString noFont = m_dir.filePath(QStringLiteral("no-fonts.conf"));
        QVERIFY(writeFile(noFont, "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n"));

        ProcessOptions options;
        options.environment.insert(QStringLiteral("FONTCONFIG_FILE"), oneFont);
        ProcessResult run = tessaryPrint({m_in, m_out}, options);
        QCOMPARE(run.exitCode, 0);
        QStringList messages = ownMessages(run.err, kProgram);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains("\"C059\"") && messages[0].contains("fonts-urw-base35"),
                 qPrintable(messages[0]));
        QCOMPARE(pdfPageCount(m_out), 3);

        QVERIFY(writeFile(m_out, "%PDF-old"));
        options.environment.insert(QStringLiteral("FONTCONFIG_FILE"), noFont);
        run = tessaryPrint({m_in, m_out}, options);
        QCOMPARE(run.exitCode, 1);
        messages = ownMessages(run.err, kProgram);
        QVERIFY2(messages.join('\n').contains("failed"), run.err.constData());
        QCOMPARE(contentOf(m_out), QByteArray("%PDF-old"));

        // The usual Helvetica substitute draws no warning.
        run = tessaryPrint({m_in, m_out});
        QCOMPARE(ownMessages(run.err, kProgram), QStringList());
    }

    // On a terminal, a long job says how far it got, and clears the line.
    void progressOnATerminal()
    {
        const QString big = m_dir.filePath(QStringLiteral("long.txt"));
        QVERIFY(writeFile(big, basicListing(100000)));
        Pty terminal;
        QVERIFY(terminal.isOpen());
        ProgramRun run(QStringLiteral(TESSARY_PRINT_PATH));
        QVERIFY(run.start({big, m_out},
                          [&terminal] { ::dup2(terminal.slaveHandle(), STDERR_FILENO); }));
        // Read the terminal while the job runs: a full terminal would stop it.
        QByteArray seen;
        const bool ended = QTest::qWaitFor(
            [&] {
                seen += terminal.readAvailable();
                return !run.running();
            },
            300000); // slow under the sanitizers
        seen += terminal.readAvailable();
        QVERIFY(ended);
        QCOMPARE(run.waitForEnd(), 0);
        QVERIFY2(seen.contains("tessary-print: page ") && seen.contains(" of 1613"),
                 seen.right(200).constData());
        QVERIFY(seen.endsWith("\r\033[K"));
    }

private:
    // The temporary files of OUT's writer beside it.
    QStringList temporaryFiles() const
    {
        return namesIn(m_dir.path()).filter(QRegularExpression(QStringLiteral("^out\\.pdf\\.")));
    }

    // The placeholders of the data rows, made real paths. Whole arguments
    // only: the temporary folder's random name may hold "IN" or "OUT".
    QStringList withPaths(QStringList args) const
    {
        const QHash<QString, QString> paths = {
            {QStringLiteral("IN"), m_in},
            {QStringLiteral("OUT"), m_out},
            {QStringLiteral("DIR"), m_dir.path()},
            {QStringLiteral("NONE"), m_dir.filePath(QStringLiteral("none.txt"))},
            {QStringLiteral("LINK"), m_dir.filePath(QStringLiteral("link.pdf"))},
            {QStringLiteral("ALIAS"), m_dir.filePath(QStringLiteral("alias.pdf"))},
        };
        for (QString &arg : args)
            arg = paths.value(arg, arg);
        return args;
    }

    QTemporaryDir m_dir;
    QString m_in;
    QString m_out;
};

QTEST_MAIN(TessaryPrintTest)
#include "test_tessary_print.moc"
