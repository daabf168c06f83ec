#include "support/CupsServer.h"
#include "support/Files.h"
#include "support/JobLines.h"
#include "support/Listings.h"
#include "support/PdfText.h"
#include "support/Process.h"
#include "support/Pty.h"

#include <QtTest>

#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
const QString kProgram = QStringLiteral("tessary-capture");
const QString kCapturePath = QStringLiteral(TESSARY_CAPTURE_PATH);
const QString kKeptNote = QStringLiteral("; jobs are kept, and printed once the queue is there");

// The names of a queue's jobs, oldest first.
QStringList titlesOf(CupsServer &cups, const QString &queue)
{
    QStringList titles;
    for (const CupsJob &job : cups.jobs(queue))
        titles << job.title;
    return titles;
}

// The file names that the job lines name, in order.
QStringList filesOf(const QByteArray &err)
{
    QStringList names;
    for (const QString &line : jobLinesIn(err))
        names << QFileInfo(parseJobLine(line)->path).fileName();
    return names;
}
} // namespace

// tessary-capture printing every job on a queue of a private CUPS server:
// the printer never costs a job, and never holds the capture.
class CapturePrintingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(pdfToolsPresent(), kPdfToolsNeeded);
        QVERIFY2(m_cups.start(), qPrintable(m_cups.error()));
    }
    // Each case writes into a folder of its own that does not exist yet.
    void init() { m_out = m_dir.filePath(QStringLiteral("out-%1").arg(++m_case)); }
    // Prints may wait in DIR; no temporary file may.
    void cleanup()
    {
        for (const QString &name : namesIn(m_out))
            QVERIFY2(!name.startsWith(QLatin1String(".tessary-job")) &&
                         !name.startsWith(QLatin1String(".tessary-capture")),
                     qPrintable("left behind: " + name));
    }

    void printsEveryJobOnTheQueue();
    void printerMissingAtTheStart_data();
    void printerMissingAtTheStart();
    void printsWaitUntilCupsIsBack();
    void refusedPrintWaits_data();
    void refusedPrintWaits();
    void silentServerHoldsOnlyThePrints();
    void noPasswordPrompt();
    void jobSavedLateIsPrintedOnce();
    void queueDefaultPaper();
    void recoveredJobOnTheQueuePaper();
    void defaultPrinterOnTheAskedPaper_data();
    void defaultPrinterOnTheAskedPaper();

private:
    // tessary-capture on `pty`, printing through `cups`, ready for bytes.
    bool start(ProgramRun &run, const Pty &pty, const QStringList &arguments,
               const QProcessEnvironment &environment, const std::function<void()> &inChild = {})
    {
        run.setProcessEnvironment(environment);
        return run.startHolding(
            QStringList {"--port", pty.slavePath(), "--out", m_out, "--quiet-ms", "300"} +
                arguments,
            pty.slavePath(), inChild);
    }

    QTemporaryDir m_dir;
    QString m_out;
    int m_case = 0;
    CupsServer m_cups;
};

// Each job goes to the queue as it ends, on the queue's default paper,
// named after its file, through Debian's whole filter chain.
void CapturePrintingTest::printsEveryJobOnTheQueue()
{
    const QString queue = QStringLiteral("Listings%1").arg(m_case);
    QVERIFY2(m_cups.addQueue(queue), qPrintable(m_cups.error()));
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(start(run, pty, {"--printer", queue}, m_cups.environment()));

    const QByteArray jobs[] = {numberedLines(130), numberedLines(70, "\n")};
    const int pages[] = {3, 2};
    for (int i = 0; i < 2; ++i) {
        QVERIFY(pty.writeAll(jobs[i]));
        QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), i + 1, 30000);
        const std::optional<JobLine> line = parseJobLine(jobLinesIn(run.err())[i]);
        QVERIFY(line);
        QVERIFY(contentOf(line->path) == jobs[i]);
        // The queue's file holds only the last job: read it before the next.
        QVERIFY2(m_cups.waitForCompleted(queue, i + 1), qPrintable(m_cups.error()));
        const CupsJob cupsJob = m_cups.jobs(queue).value(i);
        QCOMPARE(line->went, QStringLiteral("printed on %1 as job %2").arg(queue).arg(cupsJob.id));
        QCOMPARE(cupsJob.title, QFileInfo(line->path).fileName());
        const QString printed = m_cups.outputOf(queue);
        QCOMPARE(pdfPageCount(printed), pages[i]);
        QCOMPARE(pdfPageSize(printed), QStringLiteral("612 x 792 pts (letter)"));
        QCOMPARE(nonEmptyLines(pdfPages(printed).value(pages[i] - 1)).last(),
                 QStringLiteral("LINE %1").arg(i == 0 ? 130 : 70));
        // Laid out on that paper, not scaled onto it: where tessary-print
        // puts the words on Letter.
        const QString reference = m_dir.filePath(QStringLiteral("letter-%1.pdf").arg(i));
        QCOMPARE(runProcess(QStringLiteral(TESSARY_PRINT_PATH),
                            {"--paper", "Letter", line->path, reference})
                     .exitCode,
                 0);
        const QList<PdfWord> expected = pdfWords(reference);
        const QList<PdfWord> got = pdfWords(printed);
        QCOMPARE(got.size(), expected.size());
        // Ghostscript measures a word's height its own way: compare where
        // lines start and how far apart the first and last lines stand.
        const auto span = [](const QList<PdfWord> &words) {
            return words.last().box.bottom() - words.first().box.bottom();
        };
        QVERIFY2(std::abs(got.first().box.left() - expected.first().box.left()) < 0.5 &&
                     std::abs(span(got) - span(expected)) < 0.5,
                 qPrintable(QStringLiteral("lines start at %1 and span %2, not %3 and %4")
                                .arg(got.first().box.left())
                                .arg(span(got))
                                .arg(expected.first().box.left())
                                .arg(span(expected))));
    }
    QCOMPARE(run.stop(), 0);
    QCOMPARE(run.messages(), QStringList());
}

void CapturePrintingTest::printerMissingAtTheStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("message");
    QTest::newRow("no such queue") << QStringList {"--printer", "NoSuchQueue"} << true
                                   << "there is no printer queue \"NoSuchQueue\" (The printer or "
                                      "class does not exist.); 'lpstat -p' lists the queues";
    QTest::newRow("no default printer")
        << QStringList {"--print"} << true
        << "--print: there is no default printer (No default printer.); set one with "
           "'lpoptions -d NAME', or name a queue with --printer";
    QTest::newRow("no server") << QStringList {"--printer", "Listings"} << false
                               << "cannot reach the CUPS server at SOCKET: No such file or "
                                  "directory (is CUPS running?)";
    QTest::newRow("a file for a socket")
        << QStringList {"--printer", "Listings"} << false
        << "cannot reach the CUPS server at FILE: it is not a socket (is CUPS running?)";
}

// Files first: the port opens and every job is saved; its print waits.
void CapturePrintingTest::printerMissingAtTheStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, server);
    QFETCH(QString, message);
    QProcessEnvironment environment = m_cups.environment();
    // No lpoptions of this machine's user names a default.
    environment.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("no-home")));
    const QString socket = m_dir.filePath(QStringLiteral("no-cups.sock"));
    const QString file = m_dir.filePath(QStringLiteral("a-file"));
    QVERIFY(writeFile(file, "not a socket"));
    message.replace(QStringLiteral("SOCKET"), socket).replace(QStringLiteral("FILE"), file);
    if (!server)
        environment.insert(QStringLiteral("CUPS_SERVER"), message.contains(file) ? file : socket);
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(start(run, pty, arguments, environment));
    QTRY_COMPARE(run.messages(), QStringList {kProgram + ": " + message + kKeptNote});
    QVERIFY(pty.writeAll(numberedLines(5)));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 1, 15000);
    const std::optional<JobLine> line = parseJobLine(jobLinesIn(run.err())[0]);
    QVERIFY(contentOf(line->path) == numberedLines(5));
    QVERIFY2(line->went.startsWith(QLatin1String("print waits: ")), qPrintable(line->went));
    QCOMPARE(run.stop(), 3);
}

// CUPS away at the start, back, away again while jobs arrive, and back
// after the capture stopped: every job is printed once, in the order the
// jobs came, named after its own file.
void CapturePrintingTest::printsWaitUntilCupsIsBack()
{
    const QString queue = QStringLiteral("Back%1").arg(m_case);
    m_cups.stop();
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(start(run, pty, {"--printer", queue}, m_cups.environment()));
    QVERIFY(pty.writeAll(numberedLines(10)));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 1, 15000);
    // The server and the queue appear: printed with no job to set it off.
    QVERIFY2(m_cups.start() && m_cups.addQueue(queue), qPrintable(m_cups.error()));
    QTRY_COMPARE_WITH_TIMEOUT(run.messages().filter(" takes prints now").size(), 1, 30000);

    // Two jobs in one second while the server is away: -2 for the second.
    m_cups.stop();
    QTRY_VERIFY(QTime::currentTime().msec() < 100);
    QVERIFY(pty.writeAll(numberedLines(20)));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 2, 15000);
    QVERIFY(pty.writeAll(numberedLines(30)));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 3, 15000);
    QCOMPARE(run.stop(), 3);
    const QStringList files = filesOf(run.err());
    QVERIFY2(files[2] == QString(files[1]).replace(".txt", "-2.txt"), qPrintable(files.join(' ')));

    // The next start prints what waits, before anything else; a third
    // start finds nothing left to print.
    QVERIFY2(m_cups.start(), qPrintable(m_cups.error()));
    for (int again = 0; again < 2; ++again) {
        ProgramRun next(kCapturePath);
        QVERIFY(start(next, pty, {"--printer", queue}, m_cups.environment()));
        if (again == 0)
            QVERIFY2(m_cups.waitForCompleted(queue, 3), qPrintable(m_cups.error()));
        const int status = next.stop();
        QVERIFY2(status == 0, next.err().constData());
    }
    QCOMPARE(titlesOf(m_cups, queue), files);
    QVERIFY(!QFileInfo::exists(m_out + "/.tessary-prints"));
}

void CapturePrintingTest::refusedPrintWaits_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<QString>("went");
    QTest::addColumn<int>("status");
    // Refused for the queue's state: it waits, and says so once.
    QTest::newRow("the queue refuses jobs")
        << qint64(0) << "print waits: QUEUE: Destination \"QUEUE\" is not accepting jobs." << 3;
    // Refused for what it is, after the request was read, as a document too
    // long for the server: set aside, with the way to print it by hand.
    QTest::newRow("the document is too long")
        << qint64(4096)
        << "print set aside: QUEUE refuses it (Request Entity Too Large), so it is not tried "
           "again: print it by hand with lp -d QUEUE PDF"
        << 1;
}

// A print CUPS refuses waits or is set aside, its files kept; never "printed".
void CapturePrintingTest::refusedPrintWaits()
{
    QFETCH(qint64, limit);
    QFETCH(QString, went);
    QFETCH(int, status);
    CupsServer limited;
    CupsServer &cups = limit > 0 ? limited : m_cups;
    const QString queue = QStringLiteral("Refusing%1").arg(m_case);
    QVERIFY2(cups.start() && cups.addQueue(queue), qPrintable(cups.error()));
    if (limit == 0)
        QVERIFY2(cups.reject(queue), qPrintable(cups.error()));
    // The limit comes after the queue, whose driver is longer.
    cups.stop();
    cups.setLimitRequestBody(limit);
    QVERIFY2(cups.start(), qPrintable(cups.error()));
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(start(run, pty, {"--printer", queue, "--pdf"}, cups.environment()));
    QVERIFY(pty.writeAll(numberedLines(199)));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 1, 30000);
    const std::optional<JobLine> line = parseJobLine(jobLinesIn(run.err())[0]);
    QCOMPARE(
        line->went + (line->hint.isEmpty() ? QString() : "; " + line->hint),
        went.replace("QUEUE", queue).replace("PDF", QString(line->path).replace(".txt", ".pdf")));
    QCOMPARE(run.messages().size(), status == 3 ? 1 : 0);
    QCOMPARE(run.stop(), status);
    QCOMPARE(namesIn(m_out).filter(QRegularExpression("\\.(txt|pdf)$")).size(), 2);
}

// A server that takes the connection and never answers delays the prints
// alone: the text and the PDF are on disk as usual, and a stop is prompt.
void CapturePrintingTest::silentServerHoldsOnlyThePrints()
{
    const QString socket = m_dir.filePath(QStringLiteral("silent-%1.sock").arg(m_case));
    const SilentServer silent(socket);
    QVERIFY(silent.isListening());
    QProcessEnvironment environment = m_cups.environment();
    environment.insert(QStringLiteral("CUPS_SERVER"), socket);
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(start(run, pty, {"--printer", "Silent", "--pdf"}, environment));
    QTRY_VERIFY2_WITH_TIMEOUT(
        run.messages().value(0).contains("no answer from the CUPS server at " + socket),
        qPrintable(run.messages().join('\n')), 15000);
    QVERIFY(pty.writeAll(numberedLines(80)));
    QTRY_COMPARE_WITH_TIMEOUT(namesIn(m_out).filter(QRegularExpression("\\.(txt|pdf)$")).size(), 2,
                              15000);
    // Its line, once the server is found silent, says why its print waits.
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 1, 15000);
    QVERIFY(parseJobLine(jobLinesIn(run.err())[0])->went.contains("no answer"));
    QCOMPARE(run.stop(SIGTERM, 20000), 3);
}

// A queue that wants a password, asked over the network from a program on
// a terminal: nobody is asked, and the print waits.
void CapturePrintingTest::noPasswordPrompt()
{
    CupsServer cups({true, QStringLiteral("Locked")});
    QVERIFY2(cups.start() && cups.addQueue(QStringLiteral("Locked")), qPrintable(cups.error()));
    QProcessEnvironment environment = cups.environment();
    environment.insert(QStringLiteral("CUPS_SERVER"), cups.tcpAddress());
    Pty terminal;
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(start(run, pty, {"--printer", "Locked"}, environment, [&terminal] {
        ::setsid();
        ::ioctl(terminal.slaveHandle(), TIOCSCTTY, 0);
        ::dup2(terminal.slaveHandle(), STDERR_FILENO);
    }));
    QVERIFY(pty.writeAll(numberedLines(5)));
    QByteArray seen;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (seen += terminal.readAvailable()).contains("print waits: Locked: authentication required"),
        seen.constData(), 30000);
    QCOMPARE(run.stop(SIGTERM, 20000), 3);
    QVERIFY2(!(seen + terminal.readAvailable()).contains("assword"), seen.constData());
}

// A job whose text could be saved only later, with the next one, is
// printed once, as every other.
void CapturePrintingTest::jobSavedLateIsPrintedOnce()
{
    const QString queue = QStringLiteral("Late%1").arg(m_case);
    QVERIFY2(m_cups.addQueue(queue), qPrintable(m_cups.error()));
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(start(run, pty, {"--printer", queue}, m_cups.environment()));
    QVERIFY(QDir(m_out).removeRecursively() && writeFile(m_out, "in the way"));
    QVERIFY(pty.writeAll(numberedLines(10)));
    QTRY_VERIFY_WITH_TIMEOUT(run.messages().filter(" is not saved: ").size() == 1, 15000);
    QVERIFY(QFile::remove(m_out));
    QVERIFY(pty.writeAll(numberedLines(20)));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 2, 15000);
    QVERIFY2(m_cups.waitForCompleted(queue, 2), qPrintable(m_cups.error()));
    QCOMPARE(run.stop(), 0);
    QCOMPARE(titlesOf(m_cups, queue), filesOf(run.err()));
}

// Without --paper, the pages are made on the queue's own default paper.
void CapturePrintingTest::queueDefaultPaper()
{
    const QString queue = QStringLiteral("A4Queue%1").arg(m_case);
    QVERIFY2(m_cups.addQueue(queue, {"-o", "media=iso_a4_210x297mm"}), qPrintable(m_cups.error()));
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(start(run, pty, {"--printer", queue, "--pdf", "--once"}, m_cups.environment()));
    QVERIFY(pty.writeAll(numberedLines(5)));
    QCOMPARE(run.waitForEnd(), 0);
    QVERIFY2(m_cups.waitForCompleted(queue, 1), qPrintable(m_cups.error()));
    const QString a4 = QStringLiteral("595 x 842 pts (A4)");
    QCOMPARE(pdfPageSize(m_cups.outputOf(queue)), a4);
    const QString text = parseJobLine(jobLinesIn(run.err()).value(0))->path;
    QCOMPARE(pdfPageSize(QString(text).replace(".txt", ".pdf")), a4);
}

// A job recovered at the start after a kill -9 is made on the queue's paper,
// its PDF and its print alike: Letter here, where A4 is the fallback.
void CapturePrintingTest::recoveredJobOnTheQueuePaper()
{
    const QString queue = QStringLiteral("Letter%1").arg(m_case);
    QVERIFY2(m_cups.addQueue(queue), qPrintable(m_cups.error()));
    Pty pty;
    ProgramRun crashing(kCapturePath);
    QVERIFY(start(crashing, pty, {"--quiet-ms", "600000"}, m_cups.environment()));
    const QByteArray part = numberedLines(40);
    QVERIFY(pty.writeAll(part));
    QTRY_COMPARE(QFileInfo(m_out + '/' + namesIn(m_out).filter(".tessary-job-").value(0)).size(),
                 qint64(part.size()));
    QCOMPARE(crashing.stop(SIGKILL), -1);

    ProgramRun next(kCapturePath);
    QVERIFY(start(next, pty, {"--printer", queue, "--pdf"}, m_cups.environment()));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(next.err()).size(), 1, 30000);
    const std::optional<JobLine> line = parseJobLine(jobLinesIn(next.err())[0]);
    QVERIFY2(line->went.startsWith("printed on " + queue), qPrintable(line->went));
    QVERIFY2(m_cups.waitForCompleted(queue, 1), qPrintable(m_cups.error()));
    QCOMPARE(next.stop(), 0);
    const QString letter = QStringLiteral("612 x 792 pts (letter)");
    QCOMPARE(pdfPageSize(QString(line->path).replace(".txt", ".pdf")), letter);
    QCOMPARE(pdfPageSize(m_cups.outputOf(queue)), letter);
    QVERIFY(contentOf(line->path) == part);
}

void CapturePrintingTest::defaultPrinterOnTheAskedPaper_data()
{
    QTest::addColumn<bool>("ownDefault");
    // The server's default stays: the user's own must win over it.
    QTest::newRow("the server's (lpadmin -d)") << false;
    QTest::newRow("this user's (lpoptions -d)") << true;
}

// The default printer, as lp finds it; the paper asked for wins over the
// queue's own, in the print and the PDF.
void CapturePrintingTest::defaultPrinterOnTheAskedPaper()
{
    QFETCH(bool, ownDefault);
    const QString queue = QStringLiteral("Default%1").arg(m_case);
    QVERIFY2(m_cups.addQueue(queue), qPrintable(m_cups.error()));
    QProcessEnvironment environment = m_cups.environment();
    const QString home = m_dir.filePath(QStringLiteral("home-%1").arg(m_case));
    environment.insert(QStringLiteral("HOME"), home);
    QVERIFY(QDir(home).mkpath(".cups"));
    QVERIFY(
        writeFile(home + "/.cups/lpoptions", ownDefault ? "Default " + queue.toUtf8() + "\n" : ""));
    if (!ownDefault)
        QVERIFY2(m_cups.setDefault(queue), qPrintable(m_cups.error()));
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(start(run, pty, {"--print", "--pdf", "--paper", "A4", "--once"}, environment));
    QVERIFY(pty.writeAll(numberedLines(5)));
    QCOMPARE(run.waitForEnd(), 0);
    const std::optional<JobLine> line = parseJobLine(jobLinesIn(run.err()).value(0));
    QVERIFY2(line, run.err().constData());
    QVERIFY2(line->went.startsWith("printed on " + queue + " as job "), qPrintable(line->went));
    QVERIFY2(m_cups.waitForCompleted(queue, 1), qPrintable(m_cups.error()));
    const QString a4 = QStringLiteral("595 x 842 pts (A4)");
    QCOMPARE(pdfPageSize(m_cups.outputOf(queue)), a4);
    QCOMPARE(
        pdfPageSize(QString(line->path).replace(QStringLiteral(".txt"), QStringLiteral(".pdf"))),
        a4);
    // Other cases find the server with no default again.
    QVERIFY2(m_cups.removeQueue(queue), qPrintable(m_cups.error()));
}

QTEST_GUILESS_MAIN(CapturePrintingTest)
#include "test_capture_printing.moc"
