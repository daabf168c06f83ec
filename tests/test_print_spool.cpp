#include "CaptureOptions.h"
#include "CaptureSession.h"
#include "CupsPrinter.h"
#include "LiveLine.h"
#include "Outcome.h"
#include "PrintSpool.h"
#include "printjob/PrintJob.h"
#include "support/CupsServer.h"
#include "support/FakeClock.h"
#include "support/FakePort.h"
#include "support/Files.h"
#include "support/JobLines.h"
#include "support/Listings.h"
#include "toolkit/Waiting.h"

#include <QtTest>

#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace {

const QDateTime kStamp(QDate(2024, 3, 5), QTime(7, 8, 9));
const QString kName = QStringLiteral("2024-03-05_07-08-09");
const QString kTitle = kName + QStringLiteral(".txt");

// A queue of the test's own, asked on the spool's thread: it answers as
// set, and what it takes it keeps, as CUPS keeps its jobs and their names.
class FakePrinter : public PrintService {
public:
    enum class Answer { Accept, Refuse, NotAccepting, Missing, Down, LoseAnswer };

    void set(Answer answer)
    {
        locked([&] { m_answer = answer; });
    }
    void setHistory(const QStringList &titles)
    {
        locked([&] { m_taken = titles; });
    }
    QStringList history() const
    {
        return locked([&] { return m_taken; });
    }
    // Runs on the spool's thread as a print comes, and once it is taken.
    std::function<void(bool taken)> onPrint;

    bool find(QString &error) override
    {
        error = locked([&] { return missing(); });
        return error.isEmpty();
    }
    QString queue() const override { return QStringLiteral("Q"); }
    std::optional<QPageSize> defaultPaper() const override { return QPageSize(QPageSize::A4); }
    PrintReceipt print(const QString &title, const QByteArray &) override
    {
        if (onPrint)
            onPrint(false);
        const PrintReceipt receipt = locked([&]() -> PrintReceipt {
            switch (m_answer) {
            case Answer::Refuse:
                return {PrintReceipt::Answer::Refused, 0, "Request Entity Too Large"};
            case Answer::NotAccepting:
                return {PrintReceipt::Answer::Waits, 0, "not accepting jobs"};
            case Answer::Accept:
            case Answer::LoseAnswer:
                m_taken << title;
                return m_answer == Answer::Accept
                    ? PrintReceipt {PrintReceipt::Answer::Accepted, int(m_taken.size()), {}}
                    : PrintReceipt {PrintReceipt::Answer::Unknown, 0, "no answer within 5 s"};
            default:
                return {PrintReceipt::Answer::Waits, 0, missing()};
            }
        });
        if (onPrint && receipt.answer != PrintReceipt::Answer::Waits &&
            receipt.answer != PrintReceipt::Answer::Refused)
            onPrint(true);
        return receipt;
    }
    bool jobs(QVector<KnownJob> &jobs, QString &error) override
    {
        for (const QString &title : history())
            jobs.append({title, int(jobs.size()) + 1});
        error = locked([&] { return m_answer == Answer::Down ? missing() : QString(); });
        return error.isEmpty();
    }
    void cancel() override { }

private:
    template<typename Step> auto locked(Step step) const -> decltype(step())
    {
        const std::lock_guard lock(m_mutex);
        return step();
    }
    QString missing() const
    {
        if (m_answer == Answer::Down)
            return QStringLiteral("cannot reach the CUPS server at /fake: Connection refused");
        return m_answer == Answer::Missing ? QStringLiteral("there is no printer queue \"Q\"")
                                           : QString();
    }

    mutable std::mutex m_mutex;
    Answer m_answer = Answer::Accept;
    QStringList m_taken;
};

// A capture printing on a FakePrinter as the program does, on a port fed
// by hand, its lines written to a file the test reads back.
struct Rig {
    Rig(const QString &dir, FakePrinter &printer, bool printSuspect = false) : store(dir, false)
    {
        options.port = QStringLiteral("/nowhere/fake");
        options.quietMs = 100;
        options.print = true;
        options.printer = QStringLiteral("Q");
        options.printSuspect = printSuspect;
        auto clock = std::make_unique<FakeClock>();
        retry = clock.get();
        spool = std::make_unique<PrintSpool>(printer, PrintSpool::Settings {dir, "Q", {}},
                                             std::move(clock));
        session = std::make_unique<CaptureSession>(
            port, options, CaptureParts {store, outcome, nullptr, spool.get()});
        session->onEnd = [this](int code, bool) { status = code; };
        session->start();
    }
    ~Rig() { std::fclose(err); }
    QStringList lines() { return linesWrittenTo(err); }
    // What the line of the job tells of its print.
    QString went(int job)
    {
        const auto line = parseJobLine(jobLinesIn(lines().join('\n').toUtf8()).value(job));
        return line ? line->went : QStringLiteral("<no line>");
    }
    int stop()
    {
        session->stop();
        return QTest::qWaitFor([this] { return status >= 0; }, 20000) ? status : -1;
    }

    FakePort port;
    JobStore store;
    LiveLine live {nullptr};
    std::FILE *err = std::tmpfile();
    Outcome outcome {live, err};
    CaptureOptions options;
    FakeClock *retry = nullptr;
    std::unique_ptr<PrintSpool> spool;
    std::unique_ptr<CaptureSession> session;
    int status = -1;
};

// After which step of a print's life the power goes.
enum class Crash { Ahead, Marked, Named, NamedStillLinked, MarkFollows, Sent, Taken, Done };

// The store's intent, with the crash at the step asked for.
struct CrashingIntent : TextIntent {
    QString before(const QString &name, const QString &ahead) override
    {
        // The intent is on disk before the text is.
        textFirst = textFirst || QFileInfo::exists(dir + '/' + name + ".txt");
        const QString error = real.before(name, ahead);
        if (at == Crash::Marked)
            crash();
        return error;
    }
    QString after(const QString &name, const QString &ahead) override
    {
        this->ahead = ahead;
        if (at == Crash::Named || at == Crash::NamedStillLinked)
            crash();
        const QString mark = real.after(name, ahead);
        if (at == Crash::MarkFollows)
            crash();
        return mark;
    }
    CrashingIntent(QString dir, TextIntent &real, Crash at, std::function<void()> crash)
        : dir(std::move(dir)), real(real), at(at), crash(std::move(crash))
    { }
    QString dir;
    TextIntent &real;
    Crash at;
    std::function<void()> crash;
    QString ahead;
    bool textFirst = false;
};

} // namespace

Q_DECLARE_METATYPE(Crash)
Q_DECLARE_METATYPE(FakePrinter::Answer)

// The print of a job from its mark on disk to CUPS's job number, on a queue
// of the test's own; the title look-up on a private CUPS server.
class PrintSpoolTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void retryBacksOff_data();
    void retryBacksOff();
    void printedOnceWhateverTheCrash_data();
    void printedOnceWhateverTheCrash();
    void cupsAnswers_data();
    void cupsAnswers();
    void reasonsAreCurrent();
    void printsFollowTheCapture();
    void markRemovedByHandGivesThePrintUp();
    void markThatCannotBeWritten();
    void noPaperForGarbage_data();
    void noPaperForGarbage();
    void titleLookUpOnARealServer();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void PrintSpoolTest::retryBacksOff_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("ms");
    const int rows[][2] = {{1, 3000},  {2, 6000},  {3, 12000}, {4, 24000},
                           {5, 48000}, {6, 60000}, {7, 60000}, {1000000, 60000}};
    for (const auto &row : rows)
        QTest::addRow("%d failed", row[0]) << row[0] << row[1];
}

void PrintSpoolTest::retryBacksOff()
{
    QFETCH(int, failures);
    QFETCH(int, ms);
    QCOMPARE(retryDelayMs(failures), ms);
}

void PrintSpoolTest::printedOnceWhateverTheCrash_data()
{
    QTest::addColumn<Crash>("crash");
    QTest::newRow("job written ahead, not ended") << Crash::Ahead;
    QTest::newRow("its mark written, the text not named") << Crash::Marked;
    QTest::newRow("the text named, its mark not") << Crash::Named;
    QTest::newRow("the text named, still linked as written ahead") << Crash::NamedStillLinked;
    QTest::newRow("the mark names the text") << Crash::MarkFollows;
    QTest::newRow("sent, not taken") << Crash::Sent;
    QTest::newRow("taken, its answer lost") << Crash::Taken;
    QTest::newRow("taken, its mark removed") << Crash::Done;
}

// The power goes after a step of a print's life (the disk and CUPS as they
// were then are what the next start finds): it is printed once, all the same.
void PrintSpoolTest::printedOnceWhateverTheCrash()
{
    QFETCH(Crash, crash);
    const QString dir = m_dir->filePath(QStringLiteral("run"));
    const QString disk = m_dir->filePath(QStringLiteral("after"));
    QVERIFY(QDir().mkpath(dir));
    FakePrinter cups;
    QStringList taken;
    std::atomic<bool> crashed {false};
    const auto powerCut = [&] {
        if (!crashed.exchange(true))
            taken = cups.history(), std::system(qPrintable("cp -a " + dir + ' ' + disk));
    };
    const Job job {numberedLines(5), kStamp};
    QString ahead;
    {
        // The steps the session takes, by the same parts.
        JobStore store(dir, false);
        PrintSpool spool(cups, {dir, "Q", {}}, std::make_unique<FakeClock>());
        CrashingIntent intent(dir, spool.intent(), crash, powerCut);
        cups.onPrint = [&](bool inCups) {
            if (crash == (inCups ? Crash::Taken : Crash::Sent))
                powerCut();
        };
        spool.onNews = [&](const PrintNews &news) {
            if (news.state == PrintState::Sent && crash == Crash::Done)
                powerCut();
        };
        spool.start();
        store.writeAhead(job);
        if (crash == Crash::Ahead)
            powerCut();
        const TextReport saved = store.save(job, &intent).value(0);
        spool.add(saved.name, saved.mark);
        QTRY_VERIFY(crashed);
        QVERIFY(QDir(disk).exists());
        QVERIFY(!intent.textFirst);
        ahead = intent.ahead;
        cups.onPrint = {};
    }
    if (crash == Crash::NamedStillLinked)
        QCOMPARE(::link(qPrintable(disk + '/' + kTitle), qPrintable(disk + '/' + ahead)), 0);

    FakePrinter after;
    after.setHistory(taken);
    Rig rig(disk, after);
    QTRY_COMPARE(after.history(), QStringList {kTitle});
    QVERIFY2(rig.stop() == 0, qPrintable(rig.lines().join('\n')));
    QCOMPARE(after.history(), QStringList {kTitle});
    QCOMPARE(namesIn(disk), QStringList {kTitle});
    QVERIFY(contentOf(disk + '/' + kTitle) == job.bytes);
}

void PrintSpoolTest::cupsAnswers_data()
{
    using Answer = FakePrinter::Answer;
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("thenTakes"); // the queue takes prints after the first try
    QTest::addColumn<QString>("went"); // the job's line
    QTest::addColumn<int>("printed"); // how often the job went to the queue
    QTest::addColumn<int>("status");
    QTest::newRow("accepted") << Answer::Accept << true << "printed on Q as job 1" << 1 << 0;
    QTest::newRow("413") << Answer::Refuse << true
                         << "print set aside: Q refuses it (Request Entity Too Large), so it is "
                            "not tried again: print it by hand with tessary-print DIR/" +
            kTitle + " - | lp -d Q"
                         << 0 << 1;
    QTest::newRow("not accepting")
        << Answer::NotAccepting << true << "print waits: Q: not accepting jobs" << 1 << 0;
    QTest::newRow("not accepting, to the end")
        << Answer::NotAccepting << false << "print waits: Q: not accepting jobs" << 0 << 3;
    QTest::newRow("missing") << Answer::Missing << true
                             << "print waits: Q: there is no printer queue \"Q\"" << 1 << 0;
    QTest::newRow("CUPS down")
        << Answer::Down << true
        << "print waits: Q: cannot reach the CUPS server at /fake: Connection refused" << 1 << 0;
    QTest::newRow("silent for 6 s, then accepted")
        << Answer::LoseAnswer << true << "print waits: Q: no answer within 5 s" << 1 << 0;
}

// What CUPS answers to a job's first try: the job's line, how often it goes
// to the queue once the queue takes prints, and the exit status. A second
// job after it is printed once, held back by nothing.
void PrintSpoolTest::cupsAnswers()
{
    QFETCH(FakePrinter::Answer, answer);
    QFETCH(bool, thenTakes);
    QFETCH(QString, went);
    QFETCH(int, printed);
    QFETCH(int, status);
    FakePrinter cups;
    cups.set(answer);
    Rig rig(m_dir->path(), cups);
    QDateTime now = kStamp;
    rig.session->setClock([&now] { return now; });
    rig.port.arrive(numberedLines(5));
    QTRY_COMPARE(rig.went(0), went.replace("DIR", m_dir->path()));
    if (thenTakes) {
        cups.set(FakePrinter::Answer::Accept);
        rig.retry->fire();
        now = now.addSecs(10);
        rig.port.arrive(numberedLines(7));
        QTRY_VERIFY(cups.history().contains("2024-03-05_07-08-19.txt"));
    }
    QCOMPARE(rig.stop(), status);
    QCOMPARE(cups.history().count(kTitle), printed);
    QCOMPARE(cups.history().size(), printed + (thenTakes ? 1 : 0));
    if (!thenTakes)
        QCOMPARE(rig.lines().last(),
                 "test_print_spool: 1 print waiting for Q; the next start with " + m_dir->path() +
                     " prints it");
}

// A job's line gives the reason of a try made after it came, never an
// earlier job's: the queue removed after it stopped taking jobs.
void PrintSpoolTest::reasonsAreCurrent()
{
    FakePrinter cups;
    cups.set(FakePrinter::Answer::NotAccepting);
    Rig rig(m_dir->path(), cups);
    QDateTime now = kStamp;
    rig.session->setClock([&now] { return now; });
    rig.port.arrive(numberedLines(5));
    QTRY_COMPARE(rig.went(0), QStringLiteral("print waits: Q: not accepting jobs"));
    cups.set(FakePrinter::Answer::Missing);
    now = now.addSecs(10);
    rig.port.arrive(numberedLines(7));
    QTRY_COMPARE(rig.went(1), QStringLiteral("print waits: Q: there is no printer queue \"Q\""));
    QCOMPARE(rig.stop(), 3);
}

// Prints that waited in the folder for another printer are this capture's:
// they go to the printer now given, in order, each once.
void PrintSpoolTest::printsFollowTheCapture()
{
    const QString marks = m_dir->filePath(".tessary-prints/printer-Lasr");
    QVERIFY(QDir().mkpath(marks));
    for (const char *name : {"A", "B"}) {
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("%1.txt").arg(name)), "10 PRINT\r\n"));
        QVERIFY(writeFile(
            marks + QStringLiteral("/0000000%1-%2").arg(name[0] == 'A' ? 1 : 2).arg(name), {}));
    }
    FakePrinter cups;
    Rig rig(m_dir->path(), cups);
    QTRY_COMPARE(cups.history(), (QStringList {"A.txt", "B.txt"}));
    QCOMPARE(rig.stop(), 0);
    QCOMPARE(cups.history(), (QStringList {"A.txt", "B.txt"}));
    QCOMPARE(rig.lines().value(0), "test_print_spool: 2 prints that waited for Lasr go to Q");
    QVERIFY(!QFileInfo::exists(m_dir->filePath(".tessary-prints")));
}

// A mark removed by hand gives its print up at once, while the capture runs.
void PrintSpoolTest::markRemovedByHandGivesThePrintUp()
{
    FakePrinter cups;
    cups.set(FakePrinter::Answer::NotAccepting);
    Rig rig(m_dir->path(), cups);
    rig.session->setClock([] { return kStamp; });
    rig.port.arrive(numberedLines(5));
    QTRY_COMPARE(jobLinesIn(rig.lines().join('\n').toUtf8()).size(), 1);
    const QString folder = m_dir->filePath(".tessary-prints/printer-Q");
    QCOMPARE(namesIn(folder), QStringList {"00000001-" + kName});
    QVERIFY(QFile::remove(folder + "/00000001-" + kName));
    QTRY_COMPARE(rig.lines().last(),
                 m_dir->filePath(kTitle) + ": print given up: its mark was removed");
    cups.set(FakePrinter::Answer::Accept);
    rig.retry->fire();
    QCOMPARE(rig.stop(), 0);
    QCOMPARE(cups.history(), QStringList());
}

// A mark that cannot be written is said at once; the print is made while
// the run lasts, and never promised to a next start.
void PrintSpoolTest::markThatCannotBeWritten()
{
    QVERIFY(writeFile(m_dir->filePath(".tessary-prints"), "in the way"));
    FakePrinter cups;
    cups.set(FakePrinter::Answer::NotAccepting);
    Rig rig(m_dir->path(), cups);
    rig.session->setClock([] { return kStamp; });
    rig.port.arrive(numberedLines(5));
    QTRY_COMPARE(jobLinesIn(rig.lines().join('\n').toUtf8()).size(), 1);
    QCOMPARE(rig.lines().value(0),
             "test_print_spool: " + m_dir->filePath(kTitle) +
                 ": its print cannot be kept on disk: cannot make the folder " +
                 m_dir->filePath(".tessary-prints/printer-Q") +
                 "; it is printed while this run lasts, if at all");
    QCOMPARE(rig.stop(), 1);
    QCOMPARE(rig.lines().last(),
             "test_print_spool: 1 print is not made, as nothing on disk kept it; by hand: "
             "tessary-print " +
                 m_dir->filePath(kTitle) + " - | lp -d Q");
    QVERIFY(rig.lines().filter("next start").isEmpty());
}

void PrintSpoolTest::noPaperForGarbage_data()
{
    QTest::addColumn<bool>("printSuspect");
    QTest::newRow("not printed") << false;
    QTest::newRow("--print-suspect") << true;
}

// A job that looks like wrong line settings is saved, and printed only when
// asked; its line says how to print it anyway.
void PrintSpoolTest::noPaperForGarbage()
{
    QFETCH(bool, printSuspect);
    FakePrinter cups;
    Rig rig(m_dir->path(), cups, printSuspect);
    rig.session->setClock([] { return kStamp; });
    const QByteArray garbage = allByteValues().repeated(4);
    rig.port.arrive(garbage);
    QTRY_COMPARE(jobLinesIn(rig.lines().join('\n').toUtf8()).size(), 1);
    QCOMPARE(rig.stop(), 0);
    QCOMPARE(contentOf(m_dir->filePath(kTitle)), garbage);
    QCOMPARE(cups.history(), printSuspect ? QStringList {kTitle} : QStringList());
    QCOMPARE(rig.went(0),
             printSuspect ? "printed on Q as job 1"
                          : "not printed: it looks like wrong line settings "
                            "(tessary-print " +
                     m_dir->filePath(kTitle) + " - | lp -d Q prints it anyway)");
}

// CUPS's own list tells a print that was taken, by its title, also once
// the job has finished and the server was started again.
void PrintSpoolTest::titleLookUpOnARealServer()
{
    CupsServer server;
    QVERIFY2(server.start() && server.addQueue("Titles"), qPrintable(server.error()));
    server.useInThisProcess();
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    NoYield noTurns;
    PrintTextToPdf(numberedLines(3), &pdf, QPageSize(QPageSize::A4), noTurns);
    CupsPrinter printer("Titles");
    const PrintReceipt receipt = printer.print(kTitle, pdf.data());
    QCOMPARE(int(receipt.answer), int(PrintReceipt::Answer::Accepted));
    QVERIFY2(server.waitForCompleted("Titles", 1), qPrintable(server.error()));
    for (int start = 0; start < 2; ++start) {
        QVector<KnownJob> jobs;
        QString error;
        QVERIFY2(printer.jobs(jobs, error), qPrintable(error));
        QCOMPARE(jobs.size(), 1);
        QCOMPARE(jobs[0].title, kTitle);
        QCOMPARE(jobs[0].id, receipt.jobId);
        server.stop();
        QVERIFY2(server.start(), qPrintable(server.error()));
    }
}

QTEST_MAIN(PrintSpoolTest)
#include "test_print_spool.moc"
