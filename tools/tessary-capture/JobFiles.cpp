#include "JobFiles.h"

#include "AtomicFile.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>
#include <sys/stat.h>

namespace {

constexpr int kMostNamesPerSecond = 100000;

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

JobFiles::JobFiles(const QString &dir, bool withPdf) : m_dir(dir), m_withPdf(withPdf) { }

JobFiles::~JobFiles() = default;

QString JobFiles::baseName(const QDateTime &firstByte)
{
    return firstByte.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

QString JobFiles::textPath(const QString &name) const
{
    return QDir(m_dir).filePath(name + QLatin1String(".txt"));
}

// A new temporary file in DIR; when it cannot be made, it has no device and
// says why.
std::unique_ptr<AtomicFile> JobFiles::newFile() const
{
    auto file = std::make_unique<AtomicFile>(
        QDir(m_dir).filePath(QStringLiteral(".tessary-capture-XXXXXX")));
    file->open();
    return file;
}

bool JobFiles::prepare(const QString &dir, QString &error)
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
    const std::unique_ptr<AtomicFile> probe = JobFiles(dir, false).newFile();
    if (!probe->device() || !probe->write("probe") || !probe->sync()) {
        error = QStringLiteral("cannot write in %1: %2").arg(dir, probe->errorString());
        return false;
    }
    return true;
}

void JobFiles::writeAhead(QByteArrayView bytes)
{
    if (!m_ahead && m_writtenAhead == 0)
        m_ahead = newFile();
    if (m_ahead && !(m_ahead->device() && m_ahead->write(bytes)))
        m_ahead.reset();
    m_writtenAhead += bytes.size();
}

QVector<TextReport> JobFiles::save(Job job, const std::function<QByteArray()> &more)
{
    // Written ahead only when all of the job went there.
    std::unique_ptr<AtomicFile> ahead = std::move(m_ahead);
    if (m_writtenAhead != job.bytes.size())
        ahead.reset();
    m_writtenAhead = 0;
    QVector<TextReport> reports = retryTexts();
    reports.append(write(job, more, std::move(ahead)));
    if (!reports.last().saved())
        m_kept.push_back(std::move(job));
    return reports;
}

QVector<TextReport> JobFiles::retryTexts()
{
    QVector<TextReport> reports;
    for (auto kept = m_kept.begin(); kept != m_kept.end();) {
        reports.append(write(*kept, {}, nullptr));
        if (reports.last().saved())
            kept = m_kept.erase(kept);
        else
            ++kept;
    }
    return reports;
}

QVector<Job> JobFiles::takeUnwrittenTexts()
{
    QVector<Job> jobs(m_kept.begin(), m_kept.end());
    m_kept.clear();
    return jobs;
}

TextReport JobFiles::write(Job &job, const std::function<QByteArray()> &more,
                           std::unique_ptr<AtomicFile> text)
{
    TextReport report;
    // A folder removed while the capture runs is made again, as at the start.
    QString error;
    if (!QFileInfo::exists(m_dir)) {
        report.folderMadeAgain = makeFolder(m_dir, error);
        // A file written ahead went with the folder.
        text.reset();
    }
    bool written = true;
    if (!text) {
        text = newFile();
        written = text->device() && text->write(job.bytes);
    }
    // Bytes handed in after the job's own go into the same file until none
    // come, also once the file is on the disk.
    bool synced = false;
    while (written) {
        const QByteArray extra = more ? more() : QByteArray();
        if (!extra.isEmpty()) {
            job.bytes += extra;
            written = text->write(extra);
            synced = false;
        } else if (synced) {
            break;
        } else {
            written = text->sync();
            synced = true;
        }
    }
    report.job = job;
    if (!written) {
        report.error = QStringLiteral("cannot write in %1: %2").arg(m_dir, text->errorString());
        return report;
    }

    const QString base = baseName(job.firstByte);
    for (int number = 1; number <= kMostNamesPerSecond; ++number) {
        const QString name = nameFor(base, number);
        // The PDF must be able to take the same name as its text.
        if (m_withPdf && nameTaken(QDir(m_dir).filePath(name + QLatin1String(".pdf"))))
            continue;
        const AtomicFile::Placed placed =
            text->commit(textPath(name), AtomicFile::Naming::NeverReplace);
        if (placed == AtomicFile::Placed::Taken)
            continue;
        if (placed == AtomicFile::Placed::Failed) {
            report.error =
                QStringLiteral("cannot name %1: %2").arg(textPath(name), text->errorString());
            return report;
        }
        report.name = name;
        report.textPath = textPath(name);
        return report;
    }
    report.error = QStringLiteral("no free name for %1 in %2").arg(base, m_dir);
    return report;
}

PdfReport JobFiles::writePdf(const QString &name, const QByteArray &pdf) const
{
    PdfReport report;
    const QString pdfPath = QDir(m_dir).filePath(name + QLatin1String(".pdf"));
    const std::unique_ptr<AtomicFile> file = newFile();
    if (!file->device() || !file->write(pdf)) {
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

void JobFiles::keepPdf(const QString &name, const QByteArray &pdf)
{
    m_keptPdfs.emplace_back(name, pdf);
}

QVector<PdfReport> JobFiles::retryPdfs()
{
    QVector<PdfReport> reports;
    for (auto kept = m_keptPdfs.begin(); kept != m_keptPdfs.end();) {
        reports.append(writePdf(kept->first, kept->second));
        if (reports.last().error.isEmpty())
            kept = m_keptPdfs.erase(kept);
        else
            ++kept;
    }
    return reports;
}
