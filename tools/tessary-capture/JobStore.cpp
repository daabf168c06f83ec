#include "JobStore.h"

#include "LeftBehind.h"

#include <QDir>
#include <QFileInfo>

#include <QFile>

#include <algorithm>
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

} // namespace

JobStore::JobStore(const QString &dir, bool withPdf, const QString &printer)
    : m_dir(dir), m_withPdf(withPdf), m_marks(dir, printer)
{
    m_syncAhead.setSingleShot(true);
    m_syncAhead.setInterval(kSyncAheadMs);
    QObject::connect(&m_syncAhead, &QTimer::timeout, [this] {
        if (m_ahead)
            m_ahead->sync();
    });
}

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
    const std::unique_ptr<AtomicFile> probe = JobStore(dir, false).newFile(kTemporaryPrefix);
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
    const bool first = !m_ahead && m_writtenAhead == 0;
    if (first)
        m_ahead = newFile(writeAheadPrefix(firstByte), AtomicFile::Buffering::Unbuffered);
    if (m_ahead && !(m_ahead->isOpen() && m_ahead->write(bytes)))
        m_ahead.reset();
    m_writtenAhead += bytes.size();
    // A power cut takes no more than the last second that came: the file
    // and its name are on the disk from its first bytes, the rest follows
    // within a second, not when the system's cache gets to it.
    if (first && m_ahead && m_ahead->sync())
        AtomicFile::syncFolder(m_dir);
    else if (m_ahead && !m_syncAhead.isActive())
        m_syncAhead.start();
}

QVector<TextReport> JobStore::save(Job job)
{
    // Written ahead only when all of the job went there.
    std::unique_ptr<AtomicFile> ahead = std::move(m_ahead);
    if (m_writtenAhead != job.bytes.size())
        ahead.reset();
    m_writtenAhead = 0;
    m_syncAhead.stop();
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

void JobStore::loadPrints(QString &othersNote)
{
    for (const PrintMarks::Mark &mark : m_marks.load(othersNote))
        wait({Waiting::What::Print, {}, mark.name, mark.path, {}});
}

void JobStore::printWaits(const TextReport &saved, QString &error)
{
    // Its bytes are on disk: read again only if its pages are made later.
    wait({Waiting::What::Print,
          {{}, saved.job.firstByte},
          saved.name,
          m_marks.add(saved.name, error),
          {}});
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
    if (!hasWaiting(Waiting::What::Print))
        m_marks.tidy();
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
    for (const LeftJob &left : jobsLeftBehind(m_dir)) {
        reports.append(write(left.job, nullptr));
        // One that cannot be saved now stays for the next start.
        if (reports.last().saved())
            QFile::remove(left.path);
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
        text = newFile(kTemporaryPrefix);
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
    const auto file =
        std::make_unique<AtomicFile>(QDir(m_dir).filePath(kTemporaryPrefix + "XXXXXX"));
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
