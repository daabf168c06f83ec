#include "serial/Serial.h"
#include "support/CpuTime.h"
#include "support/Files.h"
#include "support/JobLines.h"
#include "support/Listings.h"
#include "support/PdfText.h"
#include "support/Process.h"
#include "support/Pty.h"
#include "support/Sanitizers.h"
#include "texts/PortErrors.h"

#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QString kProgram = QStringLiteral("tessary-capture");
const QString kCapturePath = QStringLiteral(TESSARY_CAPTURE_PATH);

ProcessResult tessaryCapture(const QStringList &arguments, ProcessOptions options = {})
{
    return runProcess(QStringLiteral(TESSARY_CAPTURE_PATH), arguments, options);
}

} // namespace

class CaptureToolTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(pdfToolsPresent(), kPdfToolsNeeded);
    }
    // Each case writes into a folder of its own that does not exist yet.
    void init() { m_out = m_dir.filePath(QStringLiteral("out-%1").arg(++m_case)); }
    void cleanup()
    {
        for (const QString &name : namesIn(m_out))
            QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable("left behind: " + name));
    }

    void twoListingsBecomeTwoFiles();
    void simulatorRoad();
    void everyByteValue_data();
    void everyByteValue();
    void signalSavesTheJobInProgress_data();
    void signalSavesTheJobInProgress();
    void hangUpSavesThePartAndWaitsForThePort();
    void hungUpTerminalEndsTheCapture();
    void killedCaptureLeavesThePortFree();
    void signalWhileBytesStillComeKeepsOneJob();
    void pagesFollowTheTextWhileThePortIsRead();
    void badUsage_data();
    void badUsage();
    void helpAndVersion_data();
    void helpAndVersion();
    void portDoesNotOpen_data();
    void portDoesNotOpen();
    void tellsSystemdAndTheJournal();
    void readmeTableSaysWhatTheProgramSays_data();
    void readmeTableSaysWhatTheProgramSays();
    void unwritableFolder_data();
    void unwritableFolder();
    void diskFillsUp();
    void folderRemovedWhileRunning();
    void liveLineOnATerminal();
    void crashMidJobIsSavedAtTheNextStart();
    void oneCaptureAFolder();
    void stopWhileAJobStillArrives_data();
    void stopWhileAJobStillArrives();

private:
    QTemporaryDir m_dir;
    QString m_out;
    int m_case = 0;
};

void CaptureToolTest::twoListingsBecomeTwoFiles()
{
    Pty pty;
    QVERIFY(pty.isOpen());
    ProgramRun run(kCapturePath);
    QVERIFY(
        run.startHolding({"--port", pty.slavePath(), "--out", m_out, "--pdf", "--quiet-ms", "300"},
                         pty.slavePath()));

    const QByteArray first = sampleListing(130);
    // The PC-1600's own characters in the second, drawn as tessary-print draws them.
    const QByteArray second = basicListing(70) + pc1600SetFile();
    QVERIFY(!first.isEmpty());
    QVERIFY(pty.writeAll(first));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 1, 15000);
    QVERIFY(pty.writeAll(second));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 2, 15000);
    QCOMPARE(run.stop(), 0);
    QCOMPARE(run.messages(), QStringList());

    const QByteArray sent[] = {first, second};
    const int lines[] = {130, 83};
    const int pages[] = {3, 2};
    QCOMPARE(namesIn(m_out).size(), 4);
    for (int i = 0; i < 2; ++i) {
        const std::optional<JobLine> job = parseJobLine(jobLinesIn(run.err()).value(i));
        QVERIFY2(job, qPrintable(jobLinesIn(run.err()).value(i)));
        QCOMPARE(QFileInfo(job->path).absolutePath(), QFileInfo(m_out).absoluteFilePath());
        QVERIFY(contentOf(job->path) == sent[i]);
        QCOMPARE(job->bytes, qint64(sent[i].size()));
        QCOMPARE(job->lines, lines[i]);
        QCOMPARE(job->pages, pages[i]);

        // The very pages tessary-print makes of the same bytes.
        QString pdf = job->path;
        pdf.replace(QRegularExpression(QStringLiteral("\\.txt$")), QStringLiteral(".pdf"));
        QCOMPARE(pdfPageCount(pdf), pages[i]);
        const QString reference = m_dir.filePath(QStringLiteral("reference-%1.pdf").arg(i));
        QCOMPARE(runProcess(QStringLiteral(TESSARY_PRINT_PATH), {job->path, reference}).exitCode,
                 0);
        const QList<PdfWord> captured = pdfWords(pdf);
        const QList<PdfWord> printed = pdfWords(reference);
        QVERIFY(captured.size() > lines[i]);
        QCOMPARE(captured.size(), printed.size());
        for (int w = 0; w < captured.size(); ++w) {
            QCOMPARE(captured[w].page, printed[w].page);
            QCOMPARE(captured[w].text, printed[w].text);
            QCOMPARE(captured[w].box, printed[w].box);
        }
    }
}

// README's road without hardware (docs/trying.md), with the capture started
// only once the simulator waits.
void CaptureToolTest::simulatorRoad()
{
    const QString listing = m_dir.filePath(QStringLiteral("LISTING"));
    QVERIFY(writeFile(listing, sampleFile()));
    QString device;
    const auto sim = startSimulator({"--pty", listing}, device);
    QVERIFY(sim);
    QByteArray simSays;
    QTRY_VERIFY_WITH_TIMEOUT((simSays += sim->readAllStandardError())
                                 .contains("waiting for a program to open " + device.toUtf8()),
                             10000);

    const QString listings = m_out + QStringLiteral("/listings");
    const ProcessResult run =
        tessaryCapture({"--port", device, "--out", listings, "--pdf", "--once"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(ownMessages(run.err, kProgram), QStringList());
    const QStringList names = namesIn(listings);
    QCOMPARE(names.size(), 2);
    QVERIFY(names[1].endsWith(QLatin1String(".txt")));
    QCOMPARE(names[0], QFileInfo(names[1]).completeBaseName() + QStringLiteral(".pdf"));
    QVERIFY(contentOf(listings + '/' + names[1]) == sampleFile());
    QCOMPARE(pdfPageCount(listings + '/' + names[0]), 1);
    QCOMPARE(run.out, QByteArray());
    const std::optional<JobLine> job = parseJobLine(jobLinesIn(run.err).value(0));
    QVERIFY2(job, run.err.constData());
    QCOMPARE(job->bytes, qint64(sampleFile().size()));

    // The simulator hangs up as soon as its reader is gone.
    QVERIFY(sim->waitForFinished(5000));
    QCOMPARE(sim->exitCode(), 0);
}

void CaptureToolTest::everyByteValue_data()
{
    QTest::addColumn<bool>("throughSimulator");
    QTest::newRow("pc1600-sim") << true;
    QTest::newRow("the test's own pty") << false;
}

void CaptureToolTest::everyByteValue()
{
    QFETCH(bool, throughSimulator);
    QByteArray bytes = allByteValues() + "\r\n" + allByteValues();
    std::reverse(bytes.begin() + 258, bytes.end());

    const QStringList arguments = {"--out", m_out, "--quiet-ms", "500", "--once"};
    ProcessResult run;
    if (throughSimulator) {
        const QString file = m_dir.filePath(QStringLiteral("bytes-%1").arg(m_case));
        QVERIFY(writeFile(file, bytes));
        QString device;
        const auto sim = startSimulator({"--baud", "38400", "--pause-ms", "0", file}, device);
        QVERIFY(sim);
        run = tessaryCapture(QStringList {"--port", device} + arguments);
        QVERIFY(sim->waitForFinished(10000));
    } else {
        Pty pty;
        ProgramRun capture(kCapturePath);
        QVERIFY(capture.startHolding(QStringList {"--port", pty.slavePath()} + arguments,
                                     pty.slavePath()));
        QVERIFY(pty.writeAll(bytes));
        run.exitCode = capture.waitForEnd();
        run.err = capture.err();
    }
    QCOMPARE(run.exitCode, 0);
    const QStringList names = namesIn(m_out);
    QCOMPARE(names.size(), 1);
    const QByteArray saved = contentOf(m_out + '/' + names[0]);
    QCOMPARE(saved.size(), bytes.size());
    QVERIFY(saved == bytes);
    // Saved as it came, and told as what wrong line settings make, with
    // what to compare.
    const std::optional<JobLine> line = parseJobLine(jobLinesIn(run.err).value(0));
    QVERIFY2(line && line->hint.contains("wrong line settings") && line->hint.contains("--baud") &&
                 line->hint.contains("SETCOM 'COM1:',9600,8,N,1"),
             run.err.constData());
}

void CaptureToolTest::signalSavesTheJobInProgress_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void CaptureToolTest::signalSavesTheJobInProgress()
{
    QFETCH(int, signalNumber);
    Pty pty;
    ProgramRun run(kCapturePath);
    // A quiet time that never comes: only the signal ends the job.
    QVERIFY(run.startHolding({"--port", pty.slavePath(), "--out", m_out, "--quiet-ms", "600000"},
                             pty.slavePath()));
    const qint64 readBefore = bytesReadBy(run.pid());
    const QByteArray taken = numberedLines(500);
    QVERIFY(pty.writeAll(taken));
    QTRY_VERIFY(bytesReadBy(run.pid()) - readBefore >= taken.size());
    // The signal comes right behind these: on the line, or just taken.
    const QByteArray last = "9999 END OF A LINE THAT NEVER ENDS";
    QCOMPARE(pty.write(last), qint64(last.size()));
    QTRY_VERIFY(pty.pendingForReader() == last.size() ||
                bytesReadBy(run.pid()) - readBefore >= taken.size() + last.size());

    QCOMPARE(run.stop(signalNumber), 0);
    const QStringList names = namesIn(m_out);
    QCOMPARE(names.size(), 1);
    QVERIFY(contentOf(m_out + '/' + names[0]) == taken + last);
    QCOMPARE(jobLinesIn(run.err()).size(), 1);
    QVERIFY(jobLinesIn(run.err())[0].endsWith(
        QStringLiteral(": %1 bytes, 501 lines, 9 pages").arg(taken.size() + last.size())));
}

void CaptureToolTest::hangUpSavesThePartAndWaitsForThePort()
{
    QVERIFY(QDir().mkpath(m_out));
    // The port is a link, like /dev/serial/by-id; what it points at changes.
    const QString link = m_dir.filePath(QStringLiteral("ttyPC1600-%1").arg(m_case));
    auto first = std::make_unique<Pty>();
    QVERIFY(QFile::link(first->slavePath(), link));
    ProgramRun run(kCapturePath);
    QVERIFY(run.startHolding({"--port", link, "--out", m_out, "--quiet-ms", "600000"},
                             first->slavePath()));

    // Hung up only once the program has the bytes: a hang-up drops what is
    // still on its way to the reader, and the line may look empty before
    // the bytes have even reached it.
    const QByteArray part = numberedLines(40);
    const qint64 readBefore = bytesReadBy(run.pid());
    QVERIFY(readBefore >= 0);
    QVERIFY(first->writeAll(part));
    QTRY_VERIFY(bytesReadBy(run.pid()) - readBefore >= part.size());
    first->closeMaster();
    // Saved at once, long before the quiet time.
    QTRY_VERIFY2_WITH_TIMEOUT(jobLinesIn(run.err()).size() == 1, run.err().constData(), 5000);
    const std::optional<JobLine> job = parseJobLine(jobLinesIn(run.err())[0]);
    QVERIFY(job);
    QVERIFY(contentOf(job->path) == part);
    QTRY_COMPARE(run.messages().size(), 1);
    QCOMPARE(run.messages()[0],
             kProgram + ": " + link + ": the port is gone; waiting for it to come back");

    // Waiting costs next to nothing and says nothing more, while the old
    // device, still there but dead, keeps failing to open.
    const double cpuBefore = processCpuSeconds(run.pid());
    QVERIFY(cpuBefore >= 0);
    QTest::qWait(2500);
    const double cpuUsed = processCpuSeconds(run.pid()) - cpuBefore;
    qInfo("CPU while waiting for the port: %.3f s in 2.5 s", cpuUsed);
    QVERIFY2(cpuUsed < 0.25, qPrintable(QString::number(cpuUsed)));
    QVERIFY(run.running());
    QCOMPARE(run.messages().size(), 1);

    Pty second;
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(second.slavePath(), link));
    QTRY_VERIFY_WITH_TIMEOUT(holdsOpen(run.pid(), second.slavePath()), 5000);
    first.reset();
    const QByteArray next = numberedLines(7, "\n");
    QVERIFY(second.writeAll(next));
    QVERIFY(second.waitUntilTaken());
    QCOMPARE(run.stop(), 0);
    QCOMPARE(jobLinesIn(run.err()).size(), 2);
    const std::optional<JobLine> nextJob = parseJobLine(jobLinesIn(run.err())[1]);
    QVERIFY(nextJob);
    QVERIFY(contentOf(nextJob->path) == next);
    QCOMPARE(
        run.messages(),
        (QStringList {kProgram + ": " + link + ": the port is gone; waiting for it to come back",
                      kProgram + ": " + link + ": open again"}));
}

// A pseudo-terminal that hung up never comes back: its number goes to the
// next terminal opened, which must never be taken for the port.
void CaptureToolTest::hungUpTerminalEndsTheCapture()
{
    auto pty = std::make_unique<Pty>();
    const QString path = pty->slavePath();
    ProgramRun run(kCapturePath);
    QVERIFY(run.startHolding({"--port", path, "--out", m_out, "--quiet-ms", "600000"}, path));
    const QByteArray part = numberedLines(40);
    const qint64 readBefore = bytesReadBy(run.pid());
    QVERIFY(pty->writeAll(part));
    QTRY_VERIFY(bytesReadBy(run.pid()) - readBefore >= part.size());
    pty.reset();

    QCOMPARE(run.waitForEnd(), 0);
    QCOMPARE(run.messages(),
             QStringList {kProgram + ": " + path +
                          ": the pseudo-terminal hung up; it never comes back, so the capture "
                          "ends"});
    QCOMPARE(jobLinesIn(run.err()).size(), 1);
    QVERIFY(contentOf(parseJobLine(jobLinesIn(run.err())[0])->path) == part);
}

// A capture killed while the line's other end stays open leaves the port
// to the next one, also for a user who is not root (whom an exclusive mark
// left on the tty would keep out).
void CaptureToolTest::killedCaptureLeavesThePortFree()
{
    if (::geteuid() != 0)
        QSKIP("runs the capture as the user nobody, which needs root");
    constexpr uid_t kNobody = 65534;
    QTemporaryDir shared;
    QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 0755) == 0);
    const QString out = shared.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    Pty pty;
    for (const QString &path : {out, pty.slavePath()})
        QVERIFY(::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0);
    const auto asNobody = [] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(126);
    };
    for (int start = 1; start <= 2; ++start) {
        ProgramRun run(kCapturePath);
        QVERIFY2(
            run.startHolding({"--port", pty.slavePath(), "--out", out}, pty.slavePath(), asNobody),
            qPrintable(QStringLiteral("start %1: ").arg(start) + run.err()));
        ::kill(pid_t(run.pid()), SIGKILL);
        run.waitForEnd();
    }
}

// What still streams in when the signal comes goes into the job in
// progress: one file, never split in two.
void CaptureToolTest::signalWhileBytesStillComeKeepsOneJob()
{
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(run.startHolding({"--port", pty.slavePath(), "--out", m_out, "--quiet-ms", "600000"},
                             pty.slavePath()));
    // Several times what one read takes, the signal early on.
    const QByteArray stream = numberedLines(400000);
    const qsizetype part = stream.size() / 8;
    QVERIFY(pty.writeAll(stream.left(part)));
    ::kill(pid_t(run.pid()), SIGTERM);
    // The program goes on taking until the line has been quiet for half a
    // second.
    QVERIFY(pty.writeAll(stream.mid(part)));
    QCOMPARE(run.waitForEnd(), 0);

    const QStringList names = namesIn(m_out);
    QCOMPARE(names.size(), 1);
    QVERIFY(contentOf(m_out + '/' + names[0]) == stream);
    QCOMPARE(jobLinesIn(run.err()).size(), 1);
}

// The text of a job is on the disk before its pages are made; the port is
// read while they are; and a stop waits for them, keeping what arrives
// meanwhile as a job of its own.
void CaptureToolTest::pagesFollowTheTextWhileThePortIsRead()
{
    Pty pty;
    ProgramRun run(kCapturePath);
    // A quiet time that outlasts the steps from the next job to the signal.
    QVERIFY(
        run.startHolding({"--port", pty.slavePath(), "--out", m_out, "--pdf", "--quiet-ms", "2000"},
                         pty.slavePath()));
    // Long enough that its pages take seconds to make, also on a loaded
    // machine that is slow to see the text.
    constexpr int kBigLines = kUnderSanitizers ? 60000 : 250000;
    const QByteArray big = numberedLines(kBigLines);
    QVERIFY(pty.writeAll(big, 60000));
    const auto texts = [this] { return namesIn(m_out).filter(QStringLiteral(".txt")); };
    QTRY_COMPARE_WITH_TIMEOUT(texts().size(), 1, 30000);
    const QString text = m_out + '/' + texts()[0];
    const QString pdf = QString(text).replace(QStringLiteral(".txt"), QStringLiteral(".pdf"));
    QVERIFY2(text.endsWith(".txt"), qPrintable(text));
    QVERIFY(contentOf(text) == big);

    const QByteArray next = numberedLines(3);
    QVERIFY(pty.writeAll(next));
    QVERIFY(pty.waitUntilTaken());
    QVERIFY2(!QFileInfo::exists(pdf), "the pages came before the next job was read");
    ::kill(pid_t(run.pid()), SIGTERM);
    const QByteArray last = "9999 ONE MORE LINE\r\n";
    QVERIFY(pty.writeAll(last));
    // The pages take minutes under the sanitizers.
    QCOMPARE(run.waitForEnd(300000), 0);

    QCOMPARE(pdfPageCount(pdf), (kBigLines + 61) / 62);
    QCOMPARE(texts().size(), 2);
    QCOMPARE(namesIn(m_out).size(), 4);
    QVERIFY(contentOf(m_out + '/' + texts()[1]) == next + last);
    QCOMPARE(jobLinesIn(run.err()).size(), 2);
    QCOMPARE(run.messages(), QStringList());
}

void CaptureToolTest::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason");
    const QString out = QStringLiteral("OUT");
    const QStringList port = {"--port", "/dev/null", "--out", out};
    QTest::newRow("nothing") << QStringList {} << "--port PATH is needed";
    QTest::newRow("no port") << QStringList {"--out", out} << "--port PATH is needed";
    QTest::newRow("no folder") << QStringList {"--port", "/dev/null"} << "--out DIR is needed";
    QTest::newRow("unknown option")
        << port + QStringList {"--fast"} << "unrecognized option '--fast'";
    QTest::newRow("value missing")
        << QStringList {"--out", out, "--port"} << "Missing value after '--port'";
    QTest::newRow("stray argument")
        << port + QStringList {"extra"} << "unexpected argument \"extra\"";
    QTest::newRow("baud not offered")
        << port + QStringList {"--baud", "115200"}
        << "--baud takes 38400, 19200, 9600, 4800, 2400, 1200, 600, 300, not \"115200\"";
    QTest::newRow("nine bits") << port + QStringList {"--bits", "9"}
                               << "--bits takes 5, 6, 7, 8, not \"9\"";
    QTest::newRow("parity") << port + QStringList {"--parity", "Even Parity"}
                            << "--parity takes none, even, odd, space, mark";
    QTest::newRow("stop bits") << port + QStringList {"--stop", "3"}
                               << "--stop takes 1, 1.5, 2, not \"3\"";
    QTest::newRow("dtr") << port + QStringList {"--dtr", "yes"} << "--dtr takes off, on";
    QTest::newRow("cts") << port + QStringList {"--cts", ""} << "--cts takes off, on";
    QTest::newRow("xon") << port + QStringList {"--xon", "1"} << "--xon takes off, on";
    QTest::newRow("no quiet time")
        << port + QStringList {"--quiet-ms", "0"} << "--quiet-ms needs a number";
    QTest::newRow("quiet time in words")
        << port + QStringList {"--quiet-ms", "2s"} << "--quiet-ms needs a number";
    QTest::newRow("paper without PDF or printer")
        << port + QStringList {"--paper", "A4"} << "--paper is for --pdf, --printer or --print";
    QTest::newRow("suspects printed without a printer")
        << port + QStringList {"--print-suspect"} << "--print-suspect is for --printer or --print";
    QTest::newRow("two printers") << port + QStringList {"--printer", "Listings", "--print"}
                                  << "--printer and --print: give one of them";
    QTest::newRow("printer without a name")
        << port + QStringList {"--printer", ""} << "--printer needs the name of a queue";
    QTest::newRow("unknown paper")
        << port + QStringList {"--pdf", "--paper", "A3"} << "unknown paper \"A3\"";
    QTest::newRow("unknown character set") << port + QStringList {"--pdf", "--charset", "ibm"}
                                           << "unknown character set \"ibm\" (pc1600 or latin1)";
    QTest::newRow("list and capture")
        << port + QStringList {"--list-ports"} << "--list-ports takes no other option";
}

void CaptureToolTest::badUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);
    arguments.replaceInStrings(QStringLiteral("OUT"), m_out);
    const ProcessResult run = tessaryCapture(arguments);
    QCOMPARE(run.exitCode, 2);
    // One line, and where to read more.
    const QStringList lines = QString::fromUtf8(run.err).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith(kProgram + ": ") && lines[0].contains(reason),
             qPrintable(lines[0]));
    QCOMPARE(lines[1], QStringLiteral("Try 'tessary-capture --help' for more information."));
    QCOMPARE(run.out, QByteArray());
    QVERIFY(!QFileInfo::exists(m_out));
}

void CaptureToolTest::helpAndVersion_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("help") << "--help"
                          << QStringList {"Usage: tessary-capture --port PATH --out DIR",
                                          "tessary-capture --list-ports", "1.5 means one stop bit"};
    QTest::newRow("-h") << "-h" << QStringList {"Usage: tessary-capture"};
    QTest::newRow("version") << "--version" << QStringList {"tessary-capture 1.0\n"};
}

void CaptureToolTest::helpAndVersion()
{
    QFETCH(QString, option);
    QFETCH(QStringList, expected);
    const ProcessResult run = tessaryCapture({option});
    QCOMPARE(run.exitCode, 0);
    for (const QString &text : expected)
        QVERIFY2(QString::fromUtf8(run.out).contains(text), run.out.constData());
    QCOMPARE(ownMessages(run.err, kProgram), QStringList());
}

void CaptureToolTest::portDoesNotOpen_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("said");
    QTest::newRow("no such device") << "missing"
                                    << "no such device; waiting for it";
    QTest::newRow("held by another program")
        << "held" << QStringLiteral("(error 2: %1)").arg(portErrorSentence(2));
    QTest::newRow("not a serial device")
        << "file" << QStringLiteral("(error 7: %1)").arg(portErrorSentence(7));
}

// A port not there, or that does not open, at the start is waited for as
// one lost later: what an earlier run left is saved meanwhile, and a stop
// ends with everything saved.
void CaptureToolTest::portDoesNotOpen()
{
    QFETCH(QString, kind);
    QFETCH(QString, said);
    Pty pty;
    Serial holder;
    QString port = m_dir.filePath(QStringLiteral("no-such-tty"));
    if (kind == QLatin1String("held")) {
        port = pty.slavePath();
        holder.setSerialPort({QStringLiteral("pty"), port, {}, {}, {}, {}});
        QVERIFY(holder.open());
    } else if (kind == QLatin1String("file")) {
        port = m_dir.filePath(QStringLiteral("plain-file"));
        QVERIFY(writeFile(port, "not a tty"));
    }
    QVERIFY(QDir().mkpath(m_out));
    QVERIFY(writeFile(m_out + "/.tessary-job-1700000000000-left", "10 REM LEFT\r\n"));
    ProgramRun run(kCapturePath);
    QVERIFY(run.start({"--port", port, "--out", m_out}));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 1, 20000);
    QCOMPARE(run.stop(), 0);
    const QStringList messages = run.messages();
    QCOMPARE(messages.size(), 2);
    QVERIFY2(messages[0].startsWith(kProgram + ": " + port + ": ") && messages[0].contains(said),
             qPrintable(messages[0]));
    QVERIFY2(messages[1].contains(" is recovered"), qPrintable(messages[1]));
    QCOMPARE(namesIn(m_out).size(), 1);
}

// What systemd hears: ready with the first status, also while the port is
// waited for, and at last how it ended. Each line carries its priority when
// standard error is the journal.
void CaptureToolTest::tellsSystemdAndTheJournal()
{
    const QString socketPath = m_dir.filePath(QStringLiteral("notify-%1").arg(m_case));
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(socketPath).constData(), sizeof address.sun_path);
    QVERIFY(::bind(notify, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    const QString journal = m_dir.filePath(QStringLiteral("journal-%1").arg(m_case));
    QVERIFY(writeFile(journal, {}));
    struct stat info { };
    QVERIFY(::stat(QFile::encodeName(journal).constData(), &info) == 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), socketPath);
    environment.insert(QStringLiteral("JOURNAL_STREAM"),
                       QStringLiteral("%1:%2").arg(info.st_dev).arg(info.st_ino));
    const QString port = m_dir.filePath(QStringLiteral("ttyLater"));
    ProgramRun run(kCapturePath);
    run.setProcessEnvironment(environment);
    const QByteArray journalPath = QFile::encodeName(journal);
    QVERIFY(run.start({"--port", port, "--out", m_out}, [journalPath] {
        ::dup2(::open(journalPath.constData(), O_WRONLY | O_APPEND), STDERR_FILENO);
    }));
    QStringList told;
    const auto receive = [&] {
        char datagram[4096];
        for (ssize_t n; (n = ::recv(notify, datagram, sizeof datagram, 0)) > 0;)
            told << QString::fromUtf8(datagram, n);
        return told.size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(receive() > 0, 20000);
    QCOMPARE(told[0], "READY=1\nSTATUS=waiting for the port " + port);
    QCOMPARE(run.stop(), 0);
    receive();
    ::close(notify);
    QCOMPARE(told.last(), QStringLiteral("STATUS=ended: everything saved"));
    QCOMPARE(contentOf(journal),
             "<4>tessary-capture: " + QFile::encodeName(port) +
                 ": no such device; waiting for it\n");
}

void CaptureToolTest::readmeTableSaysWhatTheProgramSays_data()
{
    QTest::addColumn<int>("code");
    for (int code = 1; code <= 10; ++code)
        QTest::addRow("error %d", code) << code;
}

void CaptureToolTest::readmeTableSaysWhatTheProgramSays()
{
    QFETCH(int, code);
    QFile readme(QStringLiteral(TESSARY_SOURCE_DIR "/docs/serial-errors.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString row = QStringLiteral("| %1 | %2 |").arg(code).arg(portErrorSentence(code));
    QVERIFY2(QString::fromUtf8(readme.readAll()).contains(row), qPrintable(row));
}

void CaptureToolTest::unwritableFolder_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a file") << "FILE"
                            << "FILE is not a folder";
    QTest::newRow("inside a file") << "FILE/listings"
                                   << "cannot make the folder FILE/listings: Not a directory";
    QTest::newRow("where nothing can be made") << "/proc/tessary-listings"
                                               << "cannot make the folder /proc/tessary-listings";
}

void CaptureToolTest::unwritableFolder()
{
    QFETCH(QString, where);
    QFETCH(QString, reason);
    const QString file = m_dir.filePath(QStringLiteral("a-file"));
    QVERIFY(writeFile(file, "x"));
    where.replace(QStringLiteral("FILE"), file);
    reason.replace(QStringLiteral("FILE"), file);
    // The port does not exist either: the folder is found wanting first.
    const ProcessResult run =
        tessaryCapture({"--port", m_dir.filePath(QStringLiteral("no-such-tty")), "--out", where});
    QCOMPARE(run.exitCode, 1);
    const QStringList messages = ownMessages(run.err, kProgram);
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].startsWith(kProgram + ": " + reason), qPrintable(messages[0]));
    QCOMPARE(contentOf(file), QByteArray("x"));
}

// Jobs too big for what the disk takes are kept, reported, tried again,
// and at the end go to standard output one after another, in the order
// they came, with nothing else there; the small ones around them are saved.
void CaptureToolTest::diskFillsUp()
{
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(run.startHolding({"--port", pty.slavePath(), "--out", m_out, "--quiet-ms", "300"},
                             pty.slavePath(), [] {
                                 std::signal(SIGXFSZ, SIG_IGN);
                                 const rlimit limit {8192, 8192};
                                 ::setrlimit(RLIMIT_FSIZE, &limit);
                             }));

    const QByteArray small1 = numberedLines(3);
    const QByteArray big1 = basicListing(400);
    const QByteArray big2 = basicListing(450);
    const QByteArray small2 = numberedLines(5, "\n");
    QVERIFY(big1.size() > 8192 && big2.size() > 8192);
    QVERIFY(pty.writeAll(small1));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 1, 10000);
    QVERIFY(pty.writeAll(big1));
    QTRY_COMPARE_WITH_TIMEOUT(run.messages().size(), 1, 10000);
    QVERIFY2(run.messages()[0].contains(QStringLiteral("(%1 bytes) is not saved: cannot write in "
                                                       "%2: File too large; it is kept")
                                            .arg(big1.size())
                                            .arg(m_out)),
             qPrintable(run.messages()[0]));
    // The next job: the kept one tried again first.
    QVERIFY(pty.writeAll(big2));
    QTRY_COMPARE_WITH_TIMEOUT(run.messages().size(), 3, 10000);
    QVERIFY(run.messages()[1].contains(QStringLiteral("(%1 bytes)").arg(big1.size())));
    QVERIFY(run.messages()[2].contains(QStringLiteral("(%1 bytes)").arg(big2.size())));
    QVERIFY(pty.writeAll(small2));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 2, 10000);

    QCOMPARE(run.stop(), 1);
    QVERIFY(run.out() == big1 + big2);
    const QStringList rescued = run.messages().filter("it went to standard output");
    QCOMPARE(rescued.size(), 2);
    QVERIFY(rescued[0].contains(QStringLiteral("(%1 bytes)").arg(big1.size())));
    QVERIFY(rescued[1].contains(QStringLiteral("(%1 bytes)").arg(big2.size())));
    const QStringList names = namesIn(m_out);
    QCOMPARE(names.size(), 2);
    QVERIFY(contentOf(m_out + '/' + names[0]) == small1 ||
            contentOf(m_out + '/' + names[1]) == small1);
    QVERIFY(contentOf(m_out + '/' + names[0]) == small2 ||
            contentOf(m_out + '/' + names[1]) == small2);
}

// DIR is made again when it went, as it is at the start.
void CaptureToolTest::folderRemovedWhileRunning()
{
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(run.startHolding({"--port", pty.slavePath(), "--out", m_out, "--quiet-ms", "300"},
                             pty.slavePath()));
    QVERIFY(QDir(m_out).removeRecursively());

    const QByteArray job = numberedLines(12);
    QVERIFY(pty.writeAll(job));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(run.err()).size(), 1, 10000);
    QCOMPARE(run.stop(), 0);
    QCOMPARE(run.messages(), QStringList {kProgram + ": " + m_out + " had gone and is made again"});
    const std::optional<JobLine> saved = parseJobLine(jobLinesIn(run.err())[0]);
    QVERIFY(saved);
    QVERIFY(contentOf(saved->path) == job);
}

// While a job arrives, a terminal shows bytes and lines so far; at its end
// the line is taken away.
void CaptureToolTest::liveLineOnATerminal()
{
    Pty terminal;
    Pty pty;
    ProgramRun run(kCapturePath);
    QVERIFY(run.startHolding(
        {"--port", pty.slavePath(), "--out", m_out, "--quiet-ms", "400", "--once"}, pty.slavePath(),
        [&terminal] { ::dup2(terminal.slaveHandle(), STDERR_FILENO); }));
    // CR LF split over two arrivals is still one line end.
    const QByteArray job = "10 PRINT 1\r\n20 PRINT 2\r\n30 LAST\r";
    const QByteArray tail = "\n40 END\r\n";
    QByteArray seen;
    const auto readTerminal = [&] { return seen += terminal.readAvailable(); };
    QVERIFY(pty.writeAll(job));
    QTRY_VERIFY2_WITH_TIMEOUT(readTerminal().contains("receiving, 32 bytes, 3 lines"),
                              seen.toPercentEncoding().constData(), 5000);
    QVERIFY(pty.writeAll(tail));
    QTRY_VERIFY_WITH_TIMEOUT(readTerminal().contains("receiving, 41 bytes, 4 lines"), 5000);
    QCOMPARE(run.waitForEnd(), 0);
    readTerminal();
    // The line is taken away, and the job's own line stands in its place.
    const qsizetype cleared = seen.lastIndexOf("\r\033[K");
    QVERIFY2(cleared > 0, seen.constData());
    const std::optional<JobLine> line =
        parseJobLine(QString::fromUtf8(seen.mid(cleared + 4)).trimmed());
    QVERIFY2(line && line->bytes == 41 && line->lines == 4, seen.constData());
}

// kill -9 or a power cut mid-job: the next start saves the job as it came,
// named after its first byte, and says so.
void CaptureToolTest::crashMidJobIsSavedAtTheNextStart()
{
    Pty pty;
    const QStringList arguments = {"--port", pty.slavePath(), "--out",
                                   m_out,    "--quiet-ms",    "600000"};
    ProgramRun crashing(kCapturePath);
    QVERIFY(crashing.startHolding(arguments, pty.slavePath()));
    const QString before = QDateTime::currentDateTime().toString("yyyy-MM-dd_HH-mm-ss");
    const QByteArray part = numberedLines(40);
    QVERIFY(pty.writeAll(part));
    // Killed once the bytes are written ahead: a byte read but not yet
    // written when the power goes is the one thing no program keeps.
    const auto writtenAhead = [this] {
        const QFileInfoList files = QDir(m_out).entryInfoList({QStringLiteral(".tessary-job-*")},
                                                              QDir::Files | QDir::Hidden);
        return files.size() == 1 ? files[0].size() : qint64(-1);
    };
    QTRY_COMPARE_WITH_TIMEOUT(writtenAhead(), qint64(part.size()), 30000);
    const QString after = QDateTime::currentDateTime().toString("yyyy-MM-dd_HH-mm-ss");
    QCOMPARE(crashing.stop(SIGKILL), -1);

    ProgramRun next(kCapturePath);
    QVERIFY(next.startHolding(arguments, pty.slavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(jobLinesIn(next.err()).size(), 1, 30000);
    QCOMPARE(next.stop(), 0);
    const QStringList names = namesIn(m_out);
    QCOMPARE(names.size(), 1);
    QVERIFY(contentOf(m_out + '/' + names[0]) == part);
    const QString name = QFileInfo(names[0]).completeBaseName();
    QVERIFY2(name >= before && name <= after, qPrintable(name));
    QCOMPARE(next.messages(),
             QStringList {kProgram + ": " + m_out + '/' + names[0] +
                          " is recovered: the job was arriving when an earlier "
                          "run ended without saving it"});
}

// A second capture on a folder in use ends at once, naming the folder and
// the capture that holds it.
void CaptureToolTest::oneCaptureAFolder()
{
    Pty first;
    Pty second;
    ProgramRun running(kCapturePath);
    QVERIFY(running.startHolding({"--port", first.slavePath(), "--out", m_out}, first.slavePath()));
    const ProcessResult other = tessaryCapture({"--port", second.slavePath(), "--out", m_out});
    QCOMPARE(other.exitCode, 1);
    QCOMPARE(ownMessages(other.err, kProgram),
             QStringList {QStringLiteral("%1: %2 is in use: another tessary-capture (pid %3) "
                                         "captures into it; one capture a folder")
                              .arg(kProgram, m_out)
                              .arg(running.pid())});
    QCOMPARE(running.stop(), 0);
}

void CaptureToolTest::stopWhileAJobStillArrives_data()
{
    QTest::addColumn<int>("signalsSent");
    QTest::newRow("one signal: read to its end") << 1;
    QTest::newRow("a second: ends at once") << 2;
}

// SIGTERM two seconds into a job that takes ten to arrive: it is read to its
// end, one file with all of it. A second signal ends the capture at once,
// with what came saved.
void CaptureToolTest::stopWhileAJobStillArrives()
{
    QFETCH(int, signalsSent);
    const QByteArray listing = basicListing(600).left(20000);
    const QString file = m_dir.filePath(QStringLiteral("slow-%1").arg(m_case));
    QVERIFY(writeFile(file, listing));
    QString device;
    const auto sim = startSimulator({"--baud", "19200", "--pause-ms", "0", file}, device);
    QVERIFY(sim);
    ProgramRun run(kCapturePath);
    QVERIFY(run.startHolding({"--port", device, "--out", m_out, "--quiet-ms", "600000"}, device));
    QTest::qWait(2000);
    for (int i = 0; i < signalsSent; ++i) {
        QVERIFY(run.running());
        ::kill(pid_t(run.pid()), SIGTERM);
        QTest::qWait(1000);
    }
    QCOMPARE(run.waitForEnd(60000), 0);
    const QStringList names = namesIn(m_out);
    QCOMPARE(names.size(), 1);
    const QByteArray saved = contentOf(m_out + '/' + names[0]);
    QVERIFY2(signalsSent == 1
                 ? saved == listing
                 : listing.startsWith(saved) && saved.size() > 0 && saved.size() < listing.size(),
             qPrintable(QString::number(saved.size()) + ' ' + QString::fromUtf8(run.err())));
    // The job's line tells the bytes saved, and a cut.
    const std::optional<JobLine> line = parseJobLine(jobLinesIn(run.err()).value(0));
    QVERIFY2(line && line->bytes == saved.size(), run.err().constData());
    QCOMPARE(line->went,
             signalsSent == 1 ? QString()
                              : QStringLiteral("cut short by a second signal: the "
                                               "rest was not read"));
}

QTEST_GUILESS_MAIN(CaptureToolTest)
#include "test_capture_tool.moc"
