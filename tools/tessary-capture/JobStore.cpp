#include "JobStore.h"

#include "LeftBehind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <sys/stat.h>

namespace {

constexpr int kMostNamesPerSecond = 100000;
// How far the disk may lag behind a job still arriving.
constexpr int kSyncAheadMs = 1000;

// Whether anything at all has this name, a dangling link included.
bool nameTaken(const QString &path)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

QString nameFor(const QString &base, int number)
{
    return number == 1 ? base : base + QLatin1Char('-') + QString::number(number);
}

bool makeFolder(const QString &dir, QString &error)
{
    std::error_code code;
    std::filesystem::create_directories(QFile::encodeName(dir).toStdString(), code);
    if (code)
        error = QString::fromLocal8Bit(code.message().c_str());
    return !code;
}

// What of `bytes` comes after the first `done`.
QByteArrayView after(const QByteArray &bytes, qint64 done)
{
    return QByteArrayView(bytes).sliced(qMin(done, qint64(bytes.size())));
}

} // namespace

JobStore::JobStore(const QString &dir, bool withPdf, std::unique_ptr<RetryClock> clock)
    : m_dir(dir), m_withPdf(withPdf), m_retry(std::move(clock))
{
    m_syncAhead.setSingleShot(true);
    m_syncAhead.setInterval(kSyncAheadMs);
    QObject::connect(&m_syncAhead, &QTimer::timeout, [this] {
        if (m_arriving.file)
            m_arriving.file->sync();
    });
}

// What was written ahead of a job not saved stays for the next start.
JobStore::~JobStore()
{
    if (m_arriving.file)
        m_arriving.file->release();
    for (Pending &each : m_unsaved) {
        if (each.file)
            each.file->release();
    }
}

QString JobStore::baseName(const QDateTime &firstByte)
{
    return firstByte.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

QString JobStore::textPath(const QString &name) const
{
    return QDir(m_dir).filePath(name + QLatin1String(".txt"));
}

void JobStore::writeAhead(const Job &arriving)
{
    Pending &ahead = m_arriving;
    ahead.job.firstByte = arriving.firstByte;
    const bool first = ahead.onDisk == 0;
    append(ahead, after(arriving.bytes, ahead.onDisk));
    // A power cut takes no more than the last second that came: the file
    // and its name are on the disk from its first bytes, the rest follows
    // within a second, not when the system's cache gets to it.
    if (first && ahead.onDisk > 0 && ahead.file->sync())
        AtomicFile::syncFolder(m_dir);
    else if (ahead.file && !m_syncAhead.isActive())
        m_syncAhead.start();
}

// Adds to the job's write-ahead file, made when there is none yet. What
// counts is what is on disk: after a write cut short, the rest follows
// with the next bytes, so the file never holds the job's tail alone.
void JobStore::append(Pending &pending, QByteArrayView bytes)
{
    if (!pending.file) {
        pending.file = std::make_unique<AtomicFile>(
            QDir(m_dir).filePath(writeAheadPrefix(pending.job.firstByte) + "XXXXXX"));
        if (!pending.file->open(false, AtomicFile::Buffering::Unbuffered))
            return;
    }
    if (bytes.isEmpty() || !pending.file->isOpen())
        return;
    if (pending.file->write(bytes))
        pending.onDisk += bytes.size();
    else
        pending.onDisk = pending.file->device()->size();
}

QVector<TextReport> JobStore::save(Job job, TextIntent *intent)
{
    m_syncAhead.stop();
    Pending pending = std::exchange(m_arriving, Pending());
    pending.job = std::move(job);
    pending.intent = intent;
    QVector<TextReport> reports = retry();
    reports.append(commit(pending));
    if (!reports.last().saved())
        m_unsaved.push_back(std::move(pending));
    if (!m_unsaved.empty())
        scheduleRetry();
    return reports;
}

QVector<TextReport> JobStore::retry()
{
    QVector<TextReport> reports;
    std::deque<Pending> waiting = std::exchange(m_unsaved, {});
    for (Pending &each : waiting) {
        reports.append(commit(each));
        if (!reports.last().saved())
            m_unsaved.push_back(std::move(each));
    }
    if (m_unsaved.empty()) {
        m_failures = 0;
        m_retry->stop();
    }
    return reports;
}

void JobStore::scheduleRetry()
{
    if (m_retry->isActive())
        return;
    m_retry->start(retryDelayMs(++m_failures), [this] {
        QVector<TextReport> reports = retry();
        for (TextReport &report : reports)
            report.again = true;
        if (!m_unsaved.empty())
            scheduleRetry();
        if (onRetried)
            onRetried(reports);
    });
}

QVector<Job> JobStore::unsaved() const
{
    QVector<Job> jobs;
    for (const Pending &each : m_unsaved)
        jobs.append(each.job);
    return jobs;
}

void JobStore::letGo(const QVector<bool> &kept)
{
    for (size_t i = 0; i < m_unsaved.size(); ++i) {
        Pending &each = m_unsaved[i];
        const bool elsewhere = qsizetype(i) < kept.size() && kept[qsizetype(i)];
        if (elsewhere && !each.leftPath.isEmpty())
            QFile::remove(each.leftPath);
        else if (elsewhere && each.file)
            each.file->discard();
        else if (each.file)
            each.file->release();
    }
    m_unsaved.clear();
    m_retry->stop();
}

QVector<TextReport> JobStore::recover(const IntentFor &intentFor, QStringList &leftAlone)
{
    QVector<TextReport> reports;
    const LeftBehind found = findLeftBehind(m_dir);
    leftAlone = found.leftAlone;
    for (const LeftJob &left : found.jobs) {
        Pending pending;
        pending.job = left.job;
        pending.leftPath = left.path;
        pending.onDisk = left.job.bytes.size();
        pending.intent = intentFor(left.job);
        TextReport report;
        if (left.textName.isEmpty()) {
            report = commit(pending);
        } else {
            // Its text took its name just before the end; its other name goes.
            report.job = left.job;
            report.name = left.textName;
            report.textPath = textPath(left.textName);
            if (pending.intent)
                report.mark = pending.intent->after(left.textName, QFileInfo(left.path).fileName());
            QFile::remove(left.path);
            AtomicFile::syncFolder(m_dir);
        }
        report.recovered = true;
        reports.append(report);
        if (!report.saved())
            m_unsaved.push_back(std::move(pending));
    }
    if (!m_unsaved.empty())
        scheduleRetry();
    return reports;
}

TextReport JobStore::commit(Pending &pending)
{
    TextReport report;
    report.job = pending.job;
    QString error;
    // A folder removed while the capture runs is made again, as at the start;
    // what was written ahead went with it.
    if (!QFileInfo::exists(m_dir)) {
        report.folderMadeAgain = makeFolder(m_dir, error);
        pending.file.reset();
        pending.leftPath.clear();
        pending.onDisk = 0;
    }
    if (!complete(pending, error)) {
        report.error = QStringLiteral("cannot write in %1: %2").arg(m_dir, error);
        return report;
    }
    return name(std::move(report), pending);
}

// The whole job in its write-ahead file, on the disk.
bool JobStore::complete(Pending &pending, QString &error)
{
    if (!pending.leftPath.isEmpty())
        return true;
    append(pending, after(pending.job.bytes, pending.onDisk));
    if (pending.file->isOpen() && pending.onDisk == pending.job.bytes.size() &&
        pending.file->sync())
        return true;
    error = pending.file->errorString();
    // One that could not even be made is made again at the next try.
    if (!pending.file->isOpen())
        pending.file.reset();
    return false;
}

// Gives the text on disk its name: the first byte's time, then -2, -3, ...
// The intent is on disk, naming the write-ahead file, before the name is.
TextReport JobStore::name(TextReport report, Pending &pending)
{
    const QString base = baseName(report.job.firstByte);
    const QString ahead =
        QFileInfo(pending.leftPath.isEmpty() ? pending.file->fileName() : pending.leftPath)
            .fileName();
    for (int number = 1; number <= kMostNamesPerSecond; ++number) {
        const QString name = nameFor(base, number);
        // The PDF must be able to take the same name as its text.
        if (nameTaken(textPath(name)) ||
            (m_withPdf && nameTaken(QDir(m_dir).filePath(name + QLatin1String(".pdf")))))
            continue;
        if (pending.intent)
            report.intentError = pending.intent->before(name, ahead);
        QString error;
        const AtomicFile::Placed placed = place(pending, textPath(name), error);
        if (placed == AtomicFile::Placed::Taken)
            continue;
        if (placed == AtomicFile::Placed::Failed) {
            report.error = QStringLiteral("cannot name %1: %2").arg(textPath(name), error);
            return report;
        }
        report.name = name;
        report.textPath = textPath(name);
        if (pending.intent)
            report.mark = pending.intent->after(name, ahead);
        return report;
    }
    report.error = QStringLiteral("no free name for %1 in %2").arg(base, m_dir);
    return report;
}

AtomicFile::Placed JobStore::place(Pending &pending, const QString &path, QString &error)
{
    if (!pending.leftPath.isEmpty())
        return AtomicFile::nameOnce(pending.leftPath, path, error);
    const AtomicFile::Placed placed = pending.file->commit(path, AtomicFile::Naming::NeverReplace);
    error = pending.file->errorString();
    return placed;
}
