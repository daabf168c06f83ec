#include "JobStore.h"

#include "Counted.h"

#include <QDir>
#include <QFileInfo>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMostNamesPerSecond = 100000;
// Temporary files in DIR: a job written ahead (named after its first
// byte's arrival, so that it can be told later), and any other file.
const QString kAheadPrefix = QStringLiteral(".tessary-job-%1-");
const QString kFilePrefix = QStringLiteral(".tessary-capture-");
const QString kPrintsFolder = QStringLiteral(".tessary-prints");

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

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A folder's entries on disk, its own changes included, so that a power cut
// cannot take back a file made or removed there.
bool syncFolder(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// A file that another program still holds open and locked (a capture of
// its own, running) is not to be touched.
bool heldByAnother(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// "N-NAME" of a print that waits: its number and its job's name.
std::pair<int, QString> printMarkParts(const QString &mark)
{
    const int dash = mark.indexOf(QLatin1Char('-'));
    bool ok = false;
    const int number = mark.left(dash).toInt(&ok);
    return ok && dash > 0 ? std::pair(number, mark.mid(dash + 1)) : std::pair(0, QString());
}

} // namespace

JobStore::JobStore(const QString &dir, bool withPdf, const QString &printer)
    : m_dir(dir), m_withPdf(withPdf), m_printer(printer)
{ }

JobStore::~JobStore() = default;

QString JobStore::baseName(const QDateTime &firstByte)
{
    return firstByte.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

QString JobStore::textPath(const QString &name) const
{
    return QDir(m_dir).filePath(name + QLatin1String(".txt"));
}

// A new temporary file in DIR; when it cannot be made, it is not open and
// says why.
std::unique_ptr<AtomicFile> JobStore::newFile(const QString &prefix,
                                              AtomicFile::Buffering buffering) const
{
    auto file = std::make_unique<AtomicFile>(QDir(m_dir).filePath(prefix + "XXXXXX"));
    file->open(false, buffering);
    return file;
}

bool JobStore::prepare(const QString &dir, QString &error)
{
    const QFileInfo info(dir);
    if (info.exists() && !info.isDir()) {
        error = QStringLiteral("%1 is not a folder").arg(dir);
        return false;
    }
    if (!makeFolder(dir, error)) {
        error = QStringLiteral("cannot make the folder %1: %2").arg(dir, error);
        return false;
    }
    const std::unique_ptr<AtomicFile> probe = JobStore(dir, false).newFile(kFilePrefix);
    if (!probe->isOpen() || !probe->write("probe") || !probe->sync()) {
        error = QStringLiteral("cannot write in %1: %2").arg(dir, probe->errorString());
        return false;
    }
    return true;
}

void JobStore::writeAhead(QByteArrayView bytes, const QDateTime &firstByte)
{
    // Once a write failed, the rest of the job is not written ahead: the
    // file would hold its tail alone.
    if (!m_ahead && m_writtenAhead == 0)
        m_ahead = newFile(kAheadPrefix.arg(firstByte.toMSecsSinceEpoch()),
                          AtomicFile::Buffering::Unbuffered);
    if (m_ahead && !(m_ahead->isOpen() && m_ahead->write(bytes)))
        m_ahead.reset();
    m_writtenAhead += bytes.size();
}

QVector<TextReport> JobStore::save(Job job)
{
    // Written ahead only when all of the job went there.
    std::unique_ptr<AtomicFile> ahead = std::move(m_ahead);
    if (m_writtenAhead != job.bytes.size())
        ahead.reset();
    m_writtenAhead = 0;
    QVector<TextReport> reports = retryTexts();
    reports.append(write(job, std::move(ahead)));
    if (!reports.last().saved())
        wait({Waiting::What::Text, std::move(job), {}, {}, {}});
    return reports;
}

QVector<TextReport> JobStore::retryTexts()
{
    QVector<TextReport> reports;
    for (const Waiting &text : takeWaiting(Waiting::What::Text)) {
        reports.append(write(text.job, nullptr));
        if (!reports.last().saved())
            wait(text);
    }
    return reports;
}

void JobStore::wait(Waiting waiting)
{
    m_waiting.push_back(std::move(waiting));
}

QVector<Waiting> JobStore::takeWaiting(Waiting::What what)
{
    QVector<Waiting> taken;
    for (auto each = m_waiting.begin(); each != m_waiting.end();) {
        if (each->what != what) {
            ++each;
            continue;
        }
        taken.append(std::move(*each));
        each = m_waiting.erase(each);
    }
    return taken;
}

bool JobStore::hasWaiting(Waiting::What what) const
{
    return countWaiting(what) > 0;
}

int JobStore::countWaiting(Waiting::What what) const
{
    return int(std::count_if(m_waiting.begin(), m_waiting.end(),
                             [what](const Waiting &each) { return each.what == what; }));
}

QString JobStore::printFolder() const
{
    return QDir(m_dir).filePath(kPrintsFolder + QLatin1Char('/') + m_printer);
}

void JobStore::loadPrints(QString &othersNote)
{
    const QDir prints(QDir(m_dir).filePath(kPrintsFolder));
    int others = 0;
    QStringList otherQueues;
    for (const QString &queue : prints.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QStringList marks = QDir(prints.filePath(queue)).entryList(QDir::Files);
        if (marks.isEmpty()) {
            prints.rmdir(queue);
            continue;
        }
        if (queue != m_printer) {
            others += int(marks.size());
            otherQueues << queue;
            continue;
        }
        std::vector<std::pair<int, QString>> found;
        for (const QString &mark : marks) {
            const auto parts = printMarkParts(mark);
            if (!parts.second.isEmpty())
                found.push_back(parts);
        }
        std::sort(found.begin(), found.end());
        for (const auto &[number, name] : found) {
            const QString mark = QStringLiteral("%1/%2-%3")
                                     .arg(printFolder())
                                     .arg(number, 8, 10, QLatin1Char('0'))
                                     .arg(name);
            wait({Waiting::What::Print, {}, name, QFile::exists(mark) ? mark : QString(), {}});
            m_lastPrint = std::max(m_lastPrint, number);
        }
    }
    if (others > 0)
        othersNote = QStringLiteral("%1 of an earlier run wait in %2 for another printer (%3); "
                                    "a run that prints there prints them")
                         .arg(counted(others, "print", "prints"), prints.path(),
                              otherQueues.join(QStringLiteral(", ")));
}

void JobStore::printWaits(const TextReport &saved, QString &error)
{
    const QString mark = QStringLiteral("%1/%2-%3")
                             .arg(printFolder())
                             .arg(++m_lastPrint, 8, 10, QLatin1Char('0'))
                             .arg(saved.name);
    Waiting print {Waiting::What::Print, saved.job, saved.name, {}, {}};
    QString reason;
    if (makeFolder(printFolder(), reason)) {
        const int fd = ::open(QFile::encodeName(mark).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
        if (fd >= 0 && ::close(fd) == 0 && syncFolder(printFolder()))
            print.mark = mark;
        else
            reason = systemReason(errno);
    }
    if (print.mark.isEmpty())
        error = QStringLiteral("cannot write in %1: %2").arg(printFolder(), reason);
    wait(std::move(print));
}

Waiting *JobStore::nextPrint()
{
    for (Waiting &each : m_waiting) {
        if (each.what == Waiting::What::Print)
            return &each;
    }
    return nullptr;
}

void JobStore::forgetPrint(const QString &name)
{
    for (auto each = m_waiting.begin(); each != m_waiting.end(); ++each) {
        if (each->what == Waiting::What::Print && each->name == name) {
            m_waiting.erase(each);
            break;
        }
    }
    if (!hasWaiting(Waiting::What::Print) && !m_printer.isEmpty()) {
        QDir(m_dir).rmdir(kPrintsFolder + QLatin1Char('/') + m_printer);
        QDir(m_dir).rmdir(kPrintsFolder);
    }
}

bool JobStore::printDone(const QString &mark)
{
    if (mark.isEmpty())
        return true;
    const bool removed = ::unlink(QFile::encodeName(mark).constData()) == 0 || errno == ENOENT;
    syncFolder(QFileInfo(mark).path());
    return removed;
}

QByteArray JobStore::readText(const QString &name, QString &error) const
{
    QFile text(textPath(name));
    if (!text.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(textPath(name), text.errorString());
        return {};
    }
    return text.readAll();
}

QVector<TextReport> JobStore::recover()
{
    QVector<TextReport> reports;
    const QDir dir(m_dir);
    const QStringList left =
        dir.entryList({QStringLiteral(".tessary-*")}, QDir::Files | QDir::Hidden, QDir::Name);
    std::vector<std::pair<qint64, QString>> jobs;
    for (const QString &name : left) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly) || heldByAnother(file.handle()))
            continue;
        const QStringList parts = name.split(QLatin1Char('-'));
        bool isJob = false;
        const qint64 firstByte =
            parts.size() == 4 && name.startsWith(kAheadPrefix.section(QLatin1Char('%'), 0, 0))
            ? parts[2].toLongLong(&isJob)
            : 0;
        struct stat info { };
        // A job whose text took its name just before the end is there already.
        const bool named = ::fstat(file.handle(), &info) == 0 && info.st_nlink > 1;
        if (isJob && !named && file.size() > 0)
            jobs.emplace_back(firstByte, name);
        else
            ::unlink(QFile::encodeName(file.fileName()).constData());
    }
    std::sort(jobs.begin(), jobs.end());
    for (const auto &[firstByte, name] : jobs) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const Job job {file.readAll(), QDateTime::fromMSecsSinceEpoch(firstByte)};
        reports.append(write(job, nullptr));
        // One that cannot be saved now stays for the next start.
        if (reports.last().saved())
            file.remove();
    }
    return reports;
}

TextReport JobStore::write(const Job &job, std::unique_ptr<AtomicFile> text)
{
    TextReport report;
    report.job = job;
    // A folder removed while the capture runs is made again, as at the start.
    QString error;
    if (!QFileInfo::exists(m_dir)) {
        report.folderMadeAgain = makeFolder(m_dir, error);
        // A file written ahead went with the folder.
        text.reset();
    }
    bool written = true;
    if (!text) {
        text = newFile(kFilePrefix);
        written = text->isOpen() && text->write(job.bytes);
    }
    if (!written || !text->sync()) {
        report.error = QStringLiteral("cannot write in %1: %2").arg(m_dir, text->errorString());
        return report;
    }
    return name(std::move(report), *text);
}

// Gives the text on disk its name: the first byte's time, then -2, -3, ...
TextReport JobStore::name(TextReport report, AtomicFile &text) const
{
    const QString base = baseName(report.job.firstByte);
    for (int number = 1; number <= kMostNamesPerSecond; ++number) {
        const QString name = nameFor(base, number);
        // The PDF must be able to take the same name as its text.
        if (m_withPdf && nameTaken(QDir(m_dir).filePath(name + QLatin1String(".pdf"))))
            continue;
        const AtomicFile::Placed placed =
            text.commit(textPath(name), AtomicFile::Naming::NeverReplace);
        if (placed == AtomicFile::Placed::Taken)
            continue;
        if (placed == AtomicFile::Placed::Failed) {
            report.error =
                QStringLiteral("cannot name %1: %2").arg(textPath(name), text.errorString());
            return report;
        }
        report.name = name;
        report.textPath = textPath(name);
        return report;
    }
    report.error = QStringLiteral("no free name for %1 in %2").arg(base, m_dir);
    return report;
}

PdfReport JobStore::writePdf(const QString &name, const QByteArray &pdf) const
{
    PdfReport report;
    const QString pdfPath = QDir(m_dir).filePath(name + QLatin1String(".pdf"));
    // A second signal ends the program at once: a PDF half written goes.
    const auto file = std::make_unique<AtomicFile>(QDir(m_dir).filePath(kFilePrefix + "XXXXXX"));
    file->open(true);
    if (!file->isOpen() || !file->write(pdf)) {
        report.error = QStringLiteral("cannot write in %1: %2").arg(m_dir, file->errorString());
        return report;
    }
    switch (file->commit(pdfPath, AtomicFile::Naming::NeverReplace)) {
    case AtomicFile::Placed::Done:
        report.pdfPath = pdfPath;
        break;
    case AtomicFile::Placed::Taken:
        report.error = QStringLiteral("%1 exists and is not overwritten").arg(pdfPath);
        break;
    case AtomicFile::Placed::Failed:
        report.error = QStringLiteral("cannot name %1: %2").arg(pdfPath, file->errorString());
        break;
    }
    return report;
}
