#include "CaptureSession.h"

#include "HeadlessApp.h"
#include "LiveLine.h"
#include "PageWorker.h"
#include "printjob/Capture.h"
#include "printjob/Pagination.h"
#include "serial/PortConnection.h"

#include <QFileInfo>
#include <QThread>

#include <cstdio>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// A vanished port is looked for again this often even when no folder
// change is reported: inotify says nothing about /dev/pts, for one.
constexpr int kReopenEveryMs = 1000;
// A stop adds what still arrives to the job it saves until the line has
// been quiet as long as the window's print job waits, but for no longer
// than the most.
constexpr qint64 kStopQuietMs = kDrainPauseMs;
constexpr qint64 kMostTopUpMs = 3000;
constexpr unsigned long kTopUpPollMs = 10;

QString counted(qint64 count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

QString jobName(const Job &job)
{
    return QStringLiteral("the job of %1 (%2)")
        .arg(job.firstByte.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             counted(job.bytes.size(), "byte", "bytes"));
}

QString summary(const QString &where, const QByteArray &bytes, int pages)
{
    return QStringLiteral("%1: %2, %3, %4")
        .arg(where, counted(bytes.size(), "byte", "bytes"),
             counted(countLines(bytes), "line", "lines"), counted(pages, "page", "pages"));
}

// The character device a path names, through links; 0 when there is none.
dev_t deviceAt(const QString &path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return 0;
    return info.st_rdev;
}

// A pseudo-terminal's slave side (/dev/pts/N): once hung up it never comes
// back, and its number goes to the next terminal that opens.
bool isPseudoTerminal(dev_t device)
{
    const unsigned kind = major(device);
    return kind >= 136 && kind <= 143;
}

bool isLink(const QString &path)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

} // namespace

CaptureSession::CaptureSession(PortConnection &port, JobFiles &files, LiveLine &live,
                               SessionSettings settings, PageWorker *pages)
    : m_port(port), m_files(files), m_live(live), m_settings(std::move(settings)), m_pages(pages)
{
    // The job's end must come on time: a coarse timer may be late by 5 %.
    m_quiet.setTimerType(Qt::PreciseTimer);
    m_quiet.setSingleShot(true);
    QObject::connect(&m_quiet, &QTimer::timeout, [this] { quietTimeUp(); });
    m_reopenTimer.setInterval(kReopenEveryMs);
    QObject::connect(&m_reopenTimer, &QTimer::timeout, [this] { tryReopen(); });
    QObject::connect(&m_folderWatch, &QFileSystemWatcher::directoryChanged,
                     [this] { tryReopen(); });
}

CaptureSession::~CaptureSession()
{
    m_port.setArrivalHandler({});
    m_port.setLostHandler({});
    if (m_pages) {
        m_pages->onDone = {};
        m_pages->onIdle = {};
    }
}

void CaptureSession::start()
{
    // The local time zone loads on first use; not while a job waits for
    // its quiet time to end.
    clock();
    m_openedDevice = deviceAt(m_settings.portPath);
    m_port.setArrivalHandler([this] { take(); });
    m_port.setLostHandler([this] { portLost(); });
    if (m_pages) {
        m_pages->onDone = [this](const PageResult &result) { pagesDone(result); };
        m_pages->onIdle = [this] { finishPages(); };
    }
    // What came before the loop ran is no less a job.
    take();
}

void CaptureSession::take()
{
    // A read pulls from the system and may itself announce arrivals; the
    // outer read takes them all. While a text is being written, bytes wait
    // in the port's own buffer.
    if (m_taking || m_saving || m_phase != Phase::Capturing)
        return;
    m_taking = true;
    const QByteArray bytes = m_port.readAll();
    m_taking = false;
    if (bytes.isEmpty())
        return;
    // The quiet time counts from now, before anything else is done.
    m_quiet.start(m_settings.quietMs);
    if (m_job.bytes.isEmpty())
        m_job.firstByte = clock();
    m_job.bytes += bytes;
    m_files.writeAhead(bytes);
    m_live.add(bytes);
    m_goneSaid = m_backSaid = false;
}

QByteArray CaptureSession::takeMore()
{
    while (m_topUpClock.elapsed() < kMostTopUpMs) {
        const QByteArray bytes = m_port.readAll();
        if (!bytes.isEmpty())
            return bytes;
        const qint64 quietFor = m_port.msSinceLastArrival();
        if (!m_port.isOpen() || quietFor < 0 || quietFor >= kStopQuietMs)
            break;
        QThread::msleep(kTopUpPollMs);
    }
    return {};
}

void CaptureSession::quietTimeUp()
{
    take();
    // Counted from the last byte's arrival, not from when it was taken.
    const qint64 quietFor = m_port.msSinceLastArrival();
    if (m_port.isOpen() && quietFor >= 0 && quietFor < m_settings.quietMs) {
        m_quiet.start(int(m_settings.quietMs - quietFor));
        return;
    }
    if (finishJob(false) && m_settings.once)
        stop();
}

bool CaptureSession::finishJob(bool last)
{
    m_quiet.stop();
    m_live.endJob();
    if (m_job.bytes.isEmpty())
        return false;
    Job job = std::move(m_job);
    m_job = Job();
    // The raw bytes are the record: on the disk first, before any page is made.
    m_saving = true;
    m_topUpClock.start();
    const QVector<TextReport> reports =
        m_files.save(std::move(job),
                     last ? std::function<QByteArray()>([this] { return takeMore(); })
                          : std::function<QByteArray()>());
    m_saving = false;
    handle(reports, true);
    retryPdfs();
    // Whatever came while the text was written starts the next job.
    take();
    return true;
}

void CaptureSession::handle(const QVector<TextReport> &reports, bool newJobLast)
{
    for (int i = 0; i < reports.size(); ++i) {
        const TextReport &report = reports[i];
        if (report.folderMadeAgain)
            tell(QStringLiteral("%1 had gone and is made again").arg(m_files.dir()));
        if (!report.saved())
            tell(QStringLiteral("%1 is not saved: %2%3")
                     .arg(jobName(report.job), report.error, keptNote()));
        // A job is printed once, when it ends; a text written later only
        // gets its PDF.
        PageOrder order {report.job, report.name, m_settings.pdf && report.saved(),
                         newJobLast && i == reports.size() - 1 && !m_settings.printer.isEmpty()};
        if (m_pages && (order.pdfFile || order.print))
            m_pages->add(std::move(order));
        else if (report.saved())
            tell(summary(report.textPath, report.job.bytes, countPages(report.job.bytes)), true);
    }
}

void CaptureSession::pagesDone(const PageResult &result)
{
    const PageOrder &order = result.order;
    const QString where = order.name.isEmpty()
        ? QStringLiteral("the job of %1")
              .arg(order.job.firstByte.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
        : m_files.textPath(order.name);
    const int pages = result.drawError.isEmpty() ? result.sheets : countPages(order.job.bytes);
    QString line = summary(where, order.job.bytes, pages);
    if (result.printed) {
        if (result.printed->printed) {
            line += QStringLiteral(", printed on %1 as job %2")
                        .arg(m_settings.printer)
                        .arg(result.printed->jobId);
        } else {
            line += QStringLiteral(", not printed: %1: %2")
                        .arg(m_settings.printer, result.printed->error);
            m_notPrinted = true;
        }
    }
    tell(line, true);
    if (!result.drawError.isEmpty()) {
        tell(QStringLiteral("%1: no pages made: %2").arg(where, result.drawError));
        if (order.pdfFile)
            m_pdfFailed = true;
    } else if (result.pdfFile && !result.pdfFile->error.isEmpty()) {
        tell(QStringLiteral("%1 is written, not its PDF: %2%3")
                 .arg(where, result.pdfFile->error, keptNote()));
        m_files.keepPdf(order.name, result.pdf);
    }
}

QString CaptureSession::keptNote() const
{
    return m_lastRetryDone
        ? QString()
        : QStringLiteral("; it is kept and tried again after the next job and at the end");
}

void CaptureSession::retryPdfs()
{
    if (!m_files.hasKeptPdfs())
        return;
    for (const PdfReport &report : m_files.retryPdfs()) {
        if (report.error.isEmpty())
            tell(QStringLiteral("%1: written now").arg(report.pdfPath), true);
    }
}

void CaptureSession::portLost()
{
    if (m_phase != Phase::Capturing)
        return;
    // What the port held when it went is the end of this job.
    take();
    const bool finished = finishJob(false);
    if (isPseudoTerminal(m_openedDevice)) {
        if (!isLink(m_settings.portPath)) {
            tell(QStringLiteral("%1: the pseudo-terminal hung up; it never comes back, so the "
                                "capture ends")
                     .arg(m_settings.port));
            stop();
            return;
        }
        m_hungUpTerminal = m_openedDevice;
    }
    if (!m_goneSaid)
        tell(QStringLiteral("%1: the port is gone; waiting for it to come back")
                 .arg(m_settings.port));
    m_goneSaid = true;
    if (finished && m_settings.once) {
        stop();
        return;
    }
    watchForPort(true);
}

// The port's folder tells when something comes or goes there; a folder
// that went (the last adapter of /dev/serial/by-id) is watched again once it
// is back.
void CaptureSession::watchForPort(bool watching)
{
    const QStringList watched = m_folderWatch.directories();
    const QString folder = QFileInfo(m_settings.portPath).absolutePath();
    if (!watching && !watched.isEmpty())
        m_folderWatch.removePaths(watched);
    else if (watching && !watched.contains(folder) && QFileInfo(folder).isDir())
        m_folderWatch.addPath(folder);
    if (watching)
        m_reopenTimer.start();
    else
        m_reopenTimer.stop();
}

void CaptureSession::tryReopen()
{
    if (m_phase != Phase::Capturing || m_port.isOpen())
        return;
    watchForPort(true);
    // Through links to what they point at now: a link moved to a new device
    // is that new device. A link still on the terminal that hung up is not.
    const dev_t device = deviceAt(m_settings.portPath);
    if (device == 0 || (m_hungUpTerminal != 0 && device == m_hungUpTerminal) || !m_port.open())
        return;
    m_openedDevice = device;
    watchForPort(false);
    if (m_goneSaid && !m_backSaid)
        tell(QStringLiteral("%1: open again").arg(m_settings.port));
    m_backSaid = true;
    take();
}

// The job in progress is saved as one file, with what arrives while it is
// written, and the kept files are tried a last time; nothing is read after
// that. The program ends once the pages being made are done.
void CaptureSession::stop()
{
    if (m_phase != Phase::Capturing)
        return;
    m_quiet.stop();
    watchForPort(false);
    take();
    m_phase = Phase::Finishing;
    m_lastRetryDone = true;
    if (!finishJob(true)) {
        handle(m_files.retryTexts(), false);
        retryPdfs();
    }
    finishPages();
}

void CaptureSession::finishPages()
{
    if (m_phase == Phase::Finishing && !(m_pages && m_pages->busy()))
        end();
}

void CaptureSession::end()
{
    m_phase = Phase::Ended;
    int status = m_notPrinted || m_pdfFailed ? 1 : 0;
    for (const Job &job : m_files.takeUnwrittenTexts()) {
        status = 1;
        if (::isatty(STDOUT_FILENO)) {
            tell(QStringLiteral("%1 is lost: it could not be written, and standard output is a "
                                "terminal")
                     .arg(jobName(job)));
            continue;
        }
        const bool written = std::fwrite(job.bytes.constData(), 1, size_t(job.bytes.size()),
                                         stdout) == size_t(job.bytes.size()) &&
            std::fflush(stdout) == 0;
        tell(jobName(job) +
             QLatin1String(written ? " could not be written; it went to standard output"
                                   : " could not be written, not even to standard output"));
    }
    if (m_files.hasKeptPdfs()) {
        status = 1;
        tell(QStringLiteral("some PDFs could not be written; their texts are saved"));
    }
    m_port.setArrivalHandler({});
    m_port.setLostHandler({});
    m_port.close();
    if (onEnd)
        onEnd(status);
}

// A message, or with `jobLine` a job's own line, in place of the live line.
void CaptureSession::tell(const QString &text, bool jobLine)
{
    m_live.hide();
    if (!jobLine)
        return say(text);
    std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    std::fflush(stderr);
}
