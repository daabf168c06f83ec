#include "CaptureSession.h"

#include "HeadlessApp.h"
#include "LiveLine.h"
#include "serial/Serial.h"

#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace {

// A vanished port is looked for again this often even when no folder
// change is reported: inotify says nothing about /dev/pts, for one.
constexpr int kReopenEveryMs = 1000;

QString counted(qint64 count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

QString jobName(const QDateTime &firstByte, qint64 bytes)
{
    return QStringLiteral("the job of %1 (%2)")
        .arg(firstByte.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             counted(bytes, "byte", "bytes"));
}

} // namespace

CaptureSession::CaptureSession(Serial &serial, JobFiles &files, LiveLine &live,
                               SessionSettings settings)
    : m_serial(serial), m_files(files), m_live(live), m_settings(std::move(settings))
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
    m_serial.setArrivalHandler({});
    m_serial.setLostHandler({});
}

void CaptureSession::start()
{
    // The local time zone loads on first use; not while a job waits for
    // its quiet time to end.
    QDateTime::currentDateTime();
    m_serial.setArrivalHandler([this] { take(); });
    m_serial.setLostHandler([this] { portLost(); });
    // What came before the loop ran is no less a job.
    take();
}

void CaptureSession::take()
{
    // A read pulls from the system and may itself announce arrivals; the
    // outer read takes them all. While a job is being written, bytes wait
    // in the port's own buffer and are taken after.
    if (m_taking || m_saving || m_ended)
        return;
    m_taking = true;
    const QByteArray bytes = m_serial.readAll();
    m_taking = false;
    if (bytes.isEmpty())
        return;
    // The quiet time counts from now, before anything else is done.
    m_quiet.start(m_settings.quietMs);
    if (m_job.bytes.isEmpty())
        m_job.firstByte = QDateTime::currentDateTime();
    m_job.bytes += bytes;
    m_live.add(bytes);
    m_goneSaid = m_backSaid = false;
}

void CaptureSession::quietTimeUp()
{
    take();
    // Counted from the last byte's arrival, not from when it was taken.
    const qint64 quietFor = m_serial.msSinceLastArrival();
    if (m_serial.isOpen() && quietFor >= 0 && quietFor < m_settings.quietMs) {
        m_quiet.start(int(m_settings.quietMs - quietFor));
        return;
    }
    if (finishJob() && m_settings.once)
        end();
}

bool CaptureSession::finishJob()
{
    m_quiet.stop();
    m_live.endJob();
    if (m_job.bytes.isEmpty())
        return false;
    Job job = std::move(m_job);
    m_job = Job();
    m_saving = true;
    const QVector<JobReport> reports = m_files.save(std::move(job));
    m_saving = false;
    report(reports);
    // Whatever came while the files were being written starts the next job.
    take();
    return true;
}

void CaptureSession::report(const QVector<JobReport> &reports, bool atEnd)
{
    const QString later = atEnd ? QString()
                                : QStringLiteral("; it is kept and tried again after the next job "
                                                 "and at the end");
    for (const JobReport &job : reports) {
        if (job.saved()) {
            std::printf("%s: %s, %s, %s\n", qUtf8Printable(job.textPath),
                        qUtf8Printable(counted(job.bytes, "byte", "bytes")),
                        qUtf8Printable(counted(job.lines, "line", "lines")),
                        qUtf8Printable(counted(job.pages, "page", "pages")));
            std::fflush(stdout);
        } else if (!job.textPath.isEmpty()) {
            tell(QStringLiteral("%1 is written, not its PDF: %2%3")
                     .arg(job.textPath, job.error, later));
        } else {
            tell(QStringLiteral("%1 is not saved: %2%3")
                     .arg(jobName(job.firstByte, job.bytes), job.error, later));
        }
    }
}

void CaptureSession::portLost()
{
    if (m_ended)
        return;
    // What the port held when it went is the end of this job.
    take();
    const bool finished = finishJob();
    if (!m_goneSaid)
        tell(QStringLiteral("%1: the port is gone; waiting for it to come back")
                 .arg(m_settings.port));
    m_goneSaid = true;
    if (finished && m_settings.once) {
        end();
        return;
    }
    watchForPort();
}

void CaptureSession::watchForPort()
{
    const QString folder = QFileInfo(m_settings.portPath).absolutePath();
    if (QFileInfo(folder).isDir() && !m_folderWatch.directories().contains(folder))
        m_folderWatch.addPath(folder);
    m_reopenTimer.start();
}

void CaptureSession::tryReopen()
{
    if (m_ended || m_serial.isOpen())
        return;
    // A folder that went (the last adapter of /dev/serial/by-id) is watched
    // again once it is back.
    const QString folder = QFileInfo(m_settings.portPath).absolutePath();
    if (!m_folderWatch.directories().contains(folder) && QFileInfo(folder).isDir())
        m_folderWatch.addPath(folder);
    // Through links to what they point at now: a link moved to a new device
    // is that new device.
    if (!QFileInfo::exists(m_settings.portPath) || !m_serial.open())
        return;
    m_reopenTimer.stop();
    if (!m_folderWatch.directories().isEmpty())
        m_folderWatch.removePaths(m_folderWatch.directories());
    if (m_goneSaid && !m_backSaid)
        tell(QStringLiteral("%1: open again").arg(m_settings.port));
    m_backSaid = true;
    take();
}

void CaptureSession::stop()
{
    if (m_ended)
        return;
    take();
    end();
}

void CaptureSession::end()
{
    if (m_ended)
        return;
    // Bytes that come while the last job is written are read once more.
    if (finishJob())
        finishJob();
    m_ended = true;
    m_quiet.stop();
    m_reopenTimer.stop();
    if (m_files.hasKept())
        report(m_files.retry(), true);

    int status = 0;
    const QVector<Job> unwritten = m_files.takeUnwrittenText();
    for (const Job &job : unwritten) {
        status = 1;
        if (::isatty(STDOUT_FILENO)) {
            tell(QStringLiteral("%1 is lost: it could not be written, and standard output is a "
                                "terminal")
                     .arg(jobName(job.firstByte, job.bytes.size())));
            continue;
        }
        const bool written = std::fwrite(job.bytes.constData(), 1, size_t(job.bytes.size()),
                                         stdout) == size_t(job.bytes.size()) &&
            std::fflush(stdout) == 0;
        tell(written ? QStringLiteral("%1 could not be written; it went to standard output")
                           .arg(jobName(job.firstByte, job.bytes.size()))
                     : QStringLiteral("%1 could not be written, not even to standard output")
                           .arg(jobName(job.firstByte, job.bytes.size())));
    }
    if (m_files.hasKept()) {
        status = 1;
        tell(QStringLiteral("some PDFs could not be written; their texts are saved"));
    }
    m_serial.setArrivalHandler({});
    m_serial.setLostHandler({});
    m_serial.close();
    if (onEnd)
        onEnd(status);
}

void CaptureSession::tell(const QString &text)
{
    m_live.hide();
    say(text);
}
