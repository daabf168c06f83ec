#include "AtomicFile.h"
#include "CaptureOptions.h"
#include "JobFolder.h"
#include "JobStore.h"
#include "LeftBehind.h"
#include "LiveLine.h"
#include "PageWorker.h"
#include "PortListing.h"
#include "serial/Serial.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/LineFields.h"
#include "support/Listings.h"
#include "support/PdfText.h"

#include <QtTest>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

Q_DECLARE_METATYPE(PortDescriptor)
Q_DECLARE_METATYPE(LineSettings)

namespace {

const QDateTime kStamp(QDate(2024, 3, 5), QTime(7, 8, 9));
const QString kBase = QStringLiteral("2024-03-05_07-08-09");

// Files this process writes may grow to `bytes` at most, as on a disk that
// is full, while this lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit {bytes, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

class CaptureFilesTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void namedAfterTheFirstByte();
    void neverOverwrites_data();
    void neverOverwrites();
    void jobsOfOneSecond();
    void racingWritersTakeNoNameTwice();
    void keptUntilTheFolderCanBeMade();
    void writeAheadThatFailsPartWay();
    void writtenAheadIntoAFolderThatWent();
    void recoveryReadsOnlyItsOwnFiles_data();
    void recoveryReadsOnlyItsOwnFiles();
    void pagesBesideTheText_data();
    void pagesBesideTheText();
    void prepare_data();
    void prepare();
    void optionsGiveTheWindowsValues_data();
    void optionsGiveTheWindowsValues();
    void portListing_data();
    void portListing();
    void liveLineCounts();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void CaptureFilesTest::namedAfterTheFirstByte()
{
    JobStore files(m_dir->path(), false);
    const QByteArray bytes = numberedLines(70, "\r") + QByteArray("\0tail\xff", 6);
    const QVector<TextReport> reports = files.save({bytes, kStamp});
    QCOMPARE(reports.size(), 1);
    const TextReport &report = reports[0];
    QVERIFY2(report.saved(), qPrintable(report.error));
    QCOMPARE(report.name, kBase);
    QCOMPARE(report.textPath, path(kBase + ".txt"));
    QVERIFY(contentOf(report.textPath) == bytes);
    QCOMPARE(namesIn(m_dir->path()), QStringList {kBase + ".txt"});
    QVERIFY(files.unsaved().isEmpty());
    // Readable like any other file made here, not private like a temporary one.
    QVERIFY(writeFile(path(QStringLiteral("made-by-hand")), "x"));
    QCOMPARE(QFileInfo(report.textPath).permissions(),
             QFileInfo(path(QStringLiteral("made-by-hand"))).permissions());
}

void CaptureFilesTest::neverOverwrites_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<bool>("pdf");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("renameOnly");
    // Where hard links are refused (FAT), names are taken by a rename that
    // must refuse to replace just the same.
    for (const bool renameOnly : {false, true}) {
        const char *how = renameOnly ? ", renamed" : ", linked";
        const auto row = [&](const char *name) {
            return &QTest::newRow(qPrintable(QString::fromLatin1(name) + how));
        };
        *row("nothing there") << QStringList {} << false << kBase << renameOnly;
        *row("a text of that name")
            << QStringList {kBase + ".txt"} << false << kBase + "-2" << renameOnly;
        *row("texts up to -3") << QStringList {kBase + ".txt", kBase + "-2.txt", kBase + "-3.txt"}
                               << false << kBase + "-4" << renameOnly;
        *row("a dangling link") << QStringList {"link:" + kBase + ".txt"} << false << kBase + "-2"
                                << renameOnly;
        *row("a folder of that name")
            << QStringList {"dir:" + kBase + ".txt"} << false << kBase + "-2" << renameOnly;
        *row("a PDF of that name, text only")
            << QStringList {kBase + ".pdf"} << false << kBase << renameOnly;
        *row("a PDF of that name, with PDF")
            << QStringList {kBase + ".pdf"} << true << kBase + "-2" << renameOnly;
        *row("a text of that name, with PDF")
            << QStringList {kBase + ".txt"} << true << kBase + "-2" << renameOnly;
    }
}

void CaptureFilesTest::neverOverwrites()
{
    QFETCH(QStringList, present);
    QFETCH(bool, pdf);
    QFETCH(QString, expected);
    QFETCH(bool, renameOnly);
    for (const QString &entry : present) {
        if (entry.startsWith(QLatin1String("link:")))
            QVERIFY(QFile::link(path(QStringLiteral("nowhere")), path(entry.mid(5))));
        else if (entry.startsWith(QLatin1String("dir:")))
            QVERIFY(QDir().mkpath(path(entry.mid(4))));
        else
            QVERIFY(writeFile(path(entry), "theirs: " + entry.toUtf8()));
    }
    AtomicFile::useRenameOnly(renameOnly);
    JobStore files(m_dir->path(), pdf);
    const QByteArray bytes = sampleListing(10);
    const QVector<TextReport> reports = files.save({bytes, kStamp});
    QString pdfError;
    QString pdfPath;
    QString again;
    if (pdf) {
        pdfPath = writePdfBeside(m_dir->path(), reports.value(0).name, "%PDF ours", pdfError);
        // The same PDF once more: its name is taken now.
        writePdfBeside(m_dir->path(), reports.value(0).name, "%PDF again", again);
    }
    AtomicFile::useRenameOnly(false);

    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports[0].saved(), qPrintable(reports[0].error));
    QCOMPARE(reports[0].textPath, path(expected + ".txt"));
    QVERIFY(contentOf(reports[0].textPath) == bytes);
    if (pdf) {
        QVERIFY2(pdfError.isEmpty(), qPrintable(pdfError));
        QCOMPARE(pdfPath, path(expected + ".pdf"));
        QCOMPARE(contentOf(pdfPath), QByteArray("%PDF ours"));
        QCOMPARE(again, path(expected + ".pdf") + " exists and is not overwritten");
    }
    for (const QString &entry : present) {
        if (!entry.contains(QLatin1Char(':')))
            QCOMPARE(contentOf(path(entry)), "theirs: " + entry.toUtf8());
    }
    QCOMPARE(namesIn(m_dir->path()).size(), present.size() + (pdf ? 2 : 1));
}

void CaptureFilesTest::jobsOfOneSecond()
{
    JobStore files(m_dir->path(), false);
    const QByteArray jobs[] = {"FIRST\r\n", "SECOND\r\n", "THIRD\r\n"};
    const QString names[] = {kBase, kBase + "-2", kBase + "-3"};
    for (int i = 0; i < 3; ++i) {
        const QVector<TextReport> reports = files.save({jobs[i], kStamp});
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].textPath, path(names[i] + ".txt"));
        QCOMPARE(contentOf(reports[0].textPath), jobs[i]);
    }
    // Another second starts again without a number.
    const QVector<TextReport> later = files.save({"FOURTH", kStamp.addSecs(1)});
    QCOMPARE(later[0].textPath, path("2024-03-05_07-08-10.txt"));
}

// Two programs writing into one folder at the same second: every job gets
// a name of its own and nothing is lost or overwritten.
void CaptureFilesTest::racingWritersTakeNoNameTwice()
{
    constexpr int kJobsEach = 60;
    const auto writer = [this](char who, QStringList *failures) {
        JobStore files(m_dir->path(), false);
        for (int i = 0; i < kJobsEach; ++i) {
            const QByteArray bytes = QByteArray(1, who) + QByteArray::number(i) + "\r\n";
            for (const TextReport &report : files.save({bytes, kStamp})) {
                if (!report.saved())
                    failures->append(report.error);
            }
        }
    };
    QStringList failuresA;
    QStringList failuresB;
    std::thread a(writer, 'A', &failuresA);
    std::thread b(writer, 'B', &failuresB);
    a.join();
    b.join();
    QCOMPARE(failuresA + failuresB, QStringList());

    const QStringList names = namesIn(m_dir->path());
    QCOMPARE(names.size(), 2 * kJobsEach);
    QSet<QByteArray> contents;
    for (const QString &name : names) {
        QVERIFY2(name.startsWith(kBase) && name.endsWith(".txt"), qPrintable(name));
        contents.insert(contentOf(path(name)));
    }
    for (const char who : {'A', 'B'}) {
        for (int i = 0; i < kJobsEach; ++i)
            QVERIFY(contents.contains(QByteArray(1, who) + QByteArray::number(i) + "\r\n"));
    }
}

// DIR is made again when it went; where that cannot be done, the jobs are
// kept, tried again with the next one, and handed back in order at the end.
void CaptureFilesTest::keptUntilTheFolderCanBeMade()
{
    const QString blocker = path(QStringLiteral("in-the-way"));
    const QString dir = blocker + QStringLiteral("/listings");
    QVERIFY(writeFile(blocker, "a file where a folder should be"));
    JobStore files(dir, false);
    QVector<TextReport> reports = files.save({"JOB ONE\r\n", kStamp});
    QCOMPARE(reports.size(), 1);
    QVERIFY(!reports[0].saved());
    QVERIFY2(reports[0].error.contains(dir + ": Not a directory"), qPrintable(reports[0].error));
    QCOMPARE(reports[0].job.firstByte, kStamp);
    QCOMPARE(files.unsaved().size(), 1);

    // The next job: both tried, oldest first.
    reports = files.save({"JOB TWO\r\n", kStamp.addSecs(30)});
    QCOMPARE(reports.size(), 2);
    QVERIFY(!reports[0].saved() && !reports[1].saved());
    QCOMPARE(reports[1].job.firstByte, kStamp.addSecs(30));

    QVERIFY(QFile::remove(blocker));
    reports = files.retry();
    QCOMPARE(reports.size(), 2);
    QVERIFY(reports[0].saved() && reports[1].saved());
    QVERIFY(reports[0].folderMadeAgain);
    QCOMPARE(contentOf(dir + "/" + kBase + ".txt"), QByteArray("JOB ONE\r\n"));
    QCOMPARE(contentOf(dir + "/2024-03-05_07-08-39.txt"), QByteArray("JOB TWO\r\n"));
    QVERIFY(files.unsaved().isEmpty());
    QCOMPARE(files.retry().size(), 0);

    QVERIFY(writeFile(blocker + "2", "x"));
    JobStore stuck(blocker + "2/listings", false);
    stuck.save({"ONE", kStamp});
    stuck.save({"TWO", kStamp.addSecs(1)});
    const QVector<Job> jobs = stuck.unsaved();
    QCOMPARE(jobs.size(), 2);
    QCOMPARE(jobs[0].bytes, QByteArray("ONE"));
    QCOMPARE(jobs[1].bytes, QByteArray("TWO"));
}

// A disk that fills while a job arrives in many chunks: the job waits, whole,
// what was written ahead stays (its head, never its tail alone), and once
// there is room that very file is completed and saved.
void CaptureFilesTest::writeAheadThatFailsPartWay()
{
    auto clock = std::make_unique<FakeClock>();
    FakeClock &retry = *clock;
    JobStore files(m_dir->path(), false, std::move(clock));
    QVector<TextReport> later;
    files.onRetried = [&later](const QVector<TextReport> &reports) { later = reports; };
    const QByteArray job = basicListing(600);
    QVector<TextReport> reports;
    {
        const FileSizeLimit limit(8192);
        QVERIFY(job.size() > 2 * 8192);
        for (qsizetype at = 0; at < job.size(); at += 100)
            files.writeAhead({job.left(at + 100), kStamp});
        reports = files.save({job, kStamp});
    }
    QCOMPARE(reports.size(), 1);
    QVERIFY(!reports[0].saved());
    QVERIFY2(reports[0].error.contains("File too large"), qPrintable(reports[0].error));
    const QStringList ahead = namesIn(m_dir->path());
    QCOMPARE(ahead.size(), 1);
    QCOMPARE(contentOf(path(ahead[0])), job.left(8192));
    // Tried again on a timer, not only when the next job comes.
    QVERIFY(retry.isActive());
    retry.fire();
    reports = later;
    QVERIFY2(reports.value(0).saved(), qPrintable(reports.value(0).error));
    QVERIFY(!retry.isActive());
    QCOMPARE(namesIn(m_dir->path()), QStringList {kBase + ".txt"});
    QVERIFY(contentOf(reports[0].textPath) == job);
}

// The file written ahead while the job came went with its folder: the job
// is saved all the same, in the folder made again.
void CaptureFilesTest::writtenAheadIntoAFolderThatWent()
{
    const QString dir = path(QStringLiteral("listings"));
    QVERIFY(QDir().mkpath(dir));
    JobStore files(dir, false);
    const QByteArray job = "10 PRINT 1\r\n20 END\r\n";
    files.writeAhead({job.left(12), kStamp});
    files.writeAhead({job, kStamp});
    QVERIFY(QDir(dir).removeRecursively());
    const QVector<TextReport> reports = files.save({job, kStamp});
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports[0].saved(), qPrintable(reports[0].error));
    QVERIFY(reports[0].folderMadeAgain);
    QCOMPARE(contentOf(reports[0].textPath), job);
    QVERIFY(files.unsaved().isEmpty());
}

void CaptureFilesTest::recoveryReadsOnlyItsOwnFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("leftAlone"); // what the line names, after the file's name
    QTest::addColumn<bool>("stays");
    QTest::newRow("a job written ahead") << "job"
                                         << "" << false;
    QTest::newRow("a link to a file only root reads") << "link"
                                                      << " (a symbolic link)" << true;
    QTest::newRow("another user's file") << "theirs"
                                         << " (owned by another user)" << true;
    QTest::newRow("a FIFO") << "fifo"
                            << " (not a regular file)" << true;
    QTest::newRow("a name no run gives") << "odd"
                                         << " (not a name a run gives)" << true;
    QTest::newRow("a job still arriving for another") << "live"
                                                      << "" << true;
    QTest::newRow("written ahead, but empty") << "empty"
                                              << "" << false;
    QTest::newRow("a PDF half written") << "temporary"
                                        << "" << false;
}

// What an earlier run left: only this user's regular files are read, never
// through a link; what is not one is left where it is and named, and a
// file still being written is not touched.
void CaptureFilesTest::recoveryReadsOnlyItsOwnFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, leftAlone);
    QFETCH(bool, stays);
    const QString secret = path(QStringLiteral("secret"));
    QVERIFY(writeFile(secret, "ROOT ONLY") && QFile::setPermissions(secret, QFile::ReadOwner));
    const QString name = kind == "odd" ? QStringLiteral(".tessary-job-unknown")
        : kind == "temporary"          ? QStringLiteral(".tessary-capture-x1")
                                       : writeAheadPrefix(kStamp) + kind;
    QString left = path(name);
    JobStore other(m_dir->path(), false);
    if (kind == "live") {
        other.writeAhead({"STILL ARRIVING", kStamp});
        left = path(namesIn(m_dir->path()).filter(writeAheadPrefix(kStamp)).value(0));
    } else if (kind == "link")
        QVERIFY(QFile::link(secret, left));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(qPrintable(left), 0600), 0);
    else
        QVERIFY(writeFile(left, kind == "empty" ? "" : "10 PRINT\r\n"));
    if (kind == "theirs")
        QCOMPARE(::chown(qPrintable(left), 65534, 65534), 0);
    JobStore files(m_dir->path(), false);
    QStringList named;
    const QVector<TextReport> reports = files.recover([](const Job &) { return nullptr; }, named);
    QCOMPARE(named, leftAlone.isEmpty() ? QStringList() : QStringList {name + leftAlone});
    QCOMPARE(reports.size(), kind == "job" ? 1 : 0);
    QVERIFY(kind != "job" || contentOf(reports[0].textPath) == "10 PRINT\r\n");
    QCOMPARE(QFileInfo::exists(left) || QFileInfo(left).isSymLink(), stays);
    QCOMPARE(contentOf(secret), QByteArray("ROOT ONLY"));
}

void CaptureFilesTest::pagesBesideTheText_data()
{
    QTest::addColumn<QPageSize>("paper");
    QTest::addColumn<QString>("size");
    QTest::newRow("A4") << QPageSize(QPageSize::A4) << "595 x 842 pts (A4)";
    QTest::newRow("Letter") << QPageSize(QPageSize::Letter) << "612 x 792 pts (letter)";
}

// The pages are made on a thread of their own and come back in order.
void CaptureFilesTest::pagesBesideTheText()
{
    QFETCH(QPageSize, paper);
    QFETCH(QString, size);
    JobStore files(m_dir->path(), true);
    const QByteArray first = numberedLines(130);
    const QByteArray second = numberedLines(3);
    const QString names[] = {files.save({first, kStamp}).value(0).name,
                             files.save({second, kStamp}).value(0).name};
    PageWorker worker(m_dir->path(), CharacterSet::Pc1600);
    QList<PageResult> results;
    int idle = 0;
    worker.setHandlers([&results](const PageResult &result) { results.append(result); },
                       [&idle] { ++idle; });
    worker.add({{first, kStamp}, names[0], paper, PageUse::PdfFile});
    worker.add({{second, kStamp}, names[1], paper, PageUse::PdfFile});
    QVERIFY(worker.busy());
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 2, 20000);
    QVERIFY(!worker.busy());
    QCOMPARE(idle, 1);
    QCOMPARE(results[0].order.name, kBase);
    QCOMPARE(results[1].order.name, kBase + "-2");
    QCOMPARE(results[0].sheets, 3);
    QVERIFY(results[0].pdf.isEmpty());
    const QString pdf = results[0].pdfPath;
    QCOMPARE(pdf, path(kBase + ".pdf"));
    QCOMPARE(pdfPageCount(pdf), 3);
    QCOMPARE(pdfPageSize(pdf), size);
    QCOMPARE(nonEmptyLines(pdfPages(pdf).value(2)), numberedLineTexts(125, 130));
    QCOMPARE(pdfPageCount(path(kBase + "-2.pdf")), 1);
}

void CaptureFilesTest::prepare_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("reason");
    QTest::newRow("there already") << "" << true << "";
    QTest::newRow("made, with its parents") << "new/deeper/listings" << true << "";
    QTest::newRow("X's in its name") << "run-XXXXXX" << true << "";
    QTest::newRow("a file") << "file" << false << "file is not a folder";
    QTest::newRow("inside a file") << "file/listings" << false << "/file/listings: Not a directory";
}

void CaptureFilesTest::prepare()
{
    QFETCH(QString, dir);
    QFETCH(bool, ok);
    QFETCH(QString, reason);
    QVERIFY(writeFile(path(QStringLiteral("file")), "x"));
    const QString where = path(dir);
    QString error;
    QCOMPARE(JobFolder::prepare(where, error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (!ok)
        QVERIFY2(error.endsWith(reason), qPrintable(error));
    else
        QVERIFY(QFileInfo(where).isDir());
    // The proof of writing leaves nothing behind.
    if (ok)
        QCOMPARE(namesIn(where).filter(QStringLiteral(".tessary")), QStringList());
}

void CaptureFilesTest::optionsGiveTheWindowsValues_data()
{
    using Port = QSerialPort;
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<LineSettings>("expected");
    QTest::newRow("defaults") << QStringList {}
                              << LineSettings {9600, Port::Data8, Port::NoParity, Port::OneStop};
    QTest::newRow("slowest, 7 bits, even")
        << QStringList {"--baud", "300", "--bits", "7", "--parity", "even"}
        << LineSettings {300, Port::Data7, Port::EvenParity, Port::OneStop};
    QTest::newRow("5 bits, odd, 2 stop bits")
        << QStringList {"--bits", "5", "--parity", "ODD", "--stop", "2"}
        << LineSettings {9600, Port::Data5, Port::OddParity, Port::TwoStop};
    QTest::newRow("1.5 stop bits are one")
        << QStringList {"--stop", "1.5"}
        << LineSettings {9600, Port::Data8, Port::NoParity, Port::OneStop};
    QTest::newRow("space parity") << QStringList {"--parity", "space"}
                                  << LineSettings {9600, Port::Data8, Port::SpaceParity,
                                                   Port::OneStop};
    QTest::newRow("mark parity") << QStringList {"--parity", "Mark"}
                                 << LineSettings {9600, Port::Data8, Port::MarkParity,
                                                  Port::OneStop};
    QTest::newRow("lines on") << QStringList {"--dtr", "on", "--cts", "ON", "--xon", "On"}
                              << LineSettings {9600,          Port::Data8, Port::NoParity,
                                               Port::OneStop, true,        true,
                                               true};
    QTest::newRow("the last one counts")
        << QStringList {"--baud", "600", "--baud", "38400"}
        << LineSettings {38400, Port::Data8, Port::NoParity, Port::OneStop};
}

void CaptureFilesTest::optionsGiveTheWindowsValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(LineSettings, expected);
    const CaptureCommand command = parseCaptureCommand(
        QStringList {"tessary-capture", "--port", "/dev/ttyUSB0", "--out", "x"} + arguments);
    QCOMPARE(int(command.action), int(CaptureAction::Capture));
    QCOMPARE(command.options.port, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(command.options.quietMs, 2000);
    QVERIFY(!command.options.pdf && !command.options.print && !command.options.paper);
    QVERIFY(!command.options.once);
    QCOMPARE(lineFields(command.options.lineSettings), lineFields(expected));
}

void CaptureFilesTest::portListing_data()
{
    QTest::addColumn<PortDescriptor>("port");
    QTest::addColumn<QString>("line");
    QTest::newRow("all known")
        << PortDescriptor {"ttyUSB0",
                           "/dev/ttyUSB0",
                           "FT232R USB UART",
                           "FTDI",
                           "A50285BI",
                           "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}
        << "/dev/ttyUSB0: FT232R USB UART, made by FTDI, serial number A50285BI, "
           "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    QTest::newRow("nothing known")
        << PortDescriptor {"ttyS0", "/dev/ttyS0", {}, {}, {}, {}} << "/dev/ttyS0";
    QTest::newRow("a maker only") << PortDescriptor {"ttyACM1", "/dev/ttyACM1", {}, "Arduino", {},
                                                     {}}
                                  << "/dev/ttyACM1: made by Arduino";
    QTest::newRow("no location") << PortDescriptor {"rfcomm0", {}, "Bluetooth", {}, {}, {}}
                                 << "rfcomm0: Bluetooth";
}

void CaptureFilesTest::portListing()
{
    QFETCH(PortDescriptor, port);
    QFETCH(QString, line);
    QCOMPARE(portListingLine(port), line);
}

void CaptureFilesTest::liveLineCounts()
{
    std::FILE *terminal = std::tmpfile();
    QVERIFY(terminal);
    LiveLine live(terminal);
    live.add("10 A\r");
    live.add("\n20 B\r30 C\n");
    // Within a tenth of a second the line is brought up to date once.
    QTRY_VERIFY([&] {
        std::fflush(terminal);
        const long size = std::ftell(terminal);
        QByteArray text(size, '\0');
        std::rewind(terminal);
        const size_t n = std::fread(text.data(), 1, size_t(size), terminal);
        std::fseek(terminal, 0, SEEK_END);
        return QByteArray(text.constData(), qsizetype(n))
            .endsWith("receiving, 16 bytes, 3 lines\033[K");
    }());
    live.endJob();
    live.add("X\n");
    std::fflush(terminal);
    std::rewind(terminal);
    QByteArray text(4096, '\0');
    text.truncate(qsizetype(std::fread(text.data(), 1, size_t(text.size()), terminal)));
    std::fclose(terminal);
    QVERIFY2(text.startsWith("\rtest_capture_files: receiving, 5 bytes, 1 line\033[K"),
             text.constData());
    QVERIFY(text.endsWith("\r\033[K\rtest_capture_files: receiving, 2 bytes, 1 line\033[K"));
}

QTEST_MAIN(CaptureFilesTest)
#include "test_capture_files.moc"
