#include "JobFiles.h"

#include "printjob/Pagination.h"
#include "printjob/PrintJob.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMostNamesPerSecond = 100000;

enum class Placed { Done, Taken, Failed };

// How a temporary file got its name: by a second hard link (the temporary
// name still holds the data) or, where the filesystem has no hard links
// (FAT on a memory stick), by a rename that refuses to replace.
struct Placement {
    Placed result = Placed::Failed;
    bool linked = false;
    int error = 0;
};

Placement place(const QString &temporary, const QString &final)
{
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(final);
    Placement placement;
    if (::link(from.constData(), to.constData()) == 0) {
        placement.result = Placed::Done;
        placement.linked = true;
        return placement;
    }
    if (errno == EEXIST) {
        placement.result = Placed::Taken;
        return placement;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) {
        placement.error = errno;
        return placement;
    }
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        placement.result = Placed::Done;
        return placement;
    }
    placement.result = errno == EEXIST ? Placed::Taken : Placed::Failed;
    placement.error = errno;
    return placement;
}

// Gives back a name that place() took, the file being ours.
void unplace(const QString &temporary, const QString &final, const Placement &placement)
{
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(final);
    if (placement.linked)
        ::unlink(to.constData());
    else
        ::renameat2(AT_FDCWD, to.constData(), AT_FDCWD, from.constData(), RENAME_NOREPLACE);
}

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

// The permissions any new file gets here: a temporary file is made private.
mode_t newFileMode()
{
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mode_t(0666 & ~mask);
    }();
    return mode;
}

// A new, open temporary file in `dir`; nothing, with the reason, when none
// can be made.
std::unique_ptr<QTemporaryFile> temporaryIn(const QString &dir, QString &error)
{
    auto file = std::make_unique<QTemporaryFile>(
        QDir(dir).filePath(QStringLiteral(".tessary-capture-XXXXXX")));
    if (!file->open()) {
        error = file->errorString();
        return nullptr;
    }
    ::fchmod(file->handle(), newFileMode());
    return file;
}

// The file's bytes on the disk, not only in the cache: a capture runs
// unattended and the machine may go off next.
bool finishFile(QTemporaryFile &file, QString &error)
{
    errno = 0;
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        error = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
        return false;
    }
    if (::fsync(file.handle()) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    file.close();
    return true;
}

// Writes all of `bytes` into a fresh temporary file in `dir`.
std::unique_ptr<QTemporaryFile> temporaryWith(const QString &dir, const QByteArray &bytes,
                                              QString &error)
{
    auto file = temporaryIn(dir, error);
    if (!file)
        return nullptr;
    errno = 0;
    if (file->write(bytes) != bytes.size()) {
        // A write cut short by a full disk or a size limit leaves Qt
        // without a reason; the system has one.
        error = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file->errorString();
        return nullptr;
    }
    if (!finishFile(*file, error))
        return nullptr;
    return file;
}

} // namespace

JobFiles::JobFiles(const QString &dir, std::optional<QPageSize> pdfPaper, Yield &yield)
    : m_dir(dir), m_pdfPaper(std::move(pdfPaper)), m_yield(yield)
{ }

JobFiles::~JobFiles() = default;

QString JobFiles::baseName(const QDateTime &firstByte)
{
    return firstByte.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

bool JobFiles::prepare(const QString &dir, QString &error)
{
    const QFileInfo info(dir);
    if (info.exists() && !info.isDir()) {
        error = QStringLiteral("%1 is not a folder").arg(dir);
        return false;
    }
    std::error_code code;
    std::filesystem::create_directories(QFile::encodeName(dir).toStdString(), code);
    if (code) {
        error = QStringLiteral("cannot make the folder %1: %2")
                    .arg(dir, QString::fromLocal8Bit(code.message().c_str()));
        return false;
    }
    if (!temporaryWith(dir, QByteArrayLiteral("probe"), error)) {
        error = QStringLiteral("cannot write in %1: %2").arg(dir, error);
        return false;
    }
    return true;
}

QVector<JobReport> JobFiles::save(Job job)
{
    m_kept.push_back({std::move(job), QString()});
    return retry();
}

QVector<JobReport> JobFiles::retry()
{
    QVector<JobReport> reports;
    for (auto kept = m_kept.begin(); kept != m_kept.end();) {
        reports.append(write(*kept));
        if (reports.last().saved())
            kept = m_kept.erase(kept);
        else
            ++kept;
    }
    return reports;
}

QVector<Job> JobFiles::takeUnwrittenText()
{
    QVector<Job> jobs;
    for (auto kept = m_kept.begin(); kept != m_kept.end();) {
        if (kept->name.isEmpty()) {
            jobs.append(std::move(kept->job));
            kept = m_kept.erase(kept);
        } else {
            ++kept;
        }
    }
    return jobs;
}

std::unique_ptr<QTemporaryFile> JobFiles::drawPdf(const QByteArray &bytes, int &sheets,
                                                  QString &error)
{
    auto pdf = temporaryIn(m_dir, error);
    if (!pdf) {
        error = QStringLiteral("cannot write in %1: %2").arg(m_dir, error);
        return nullptr;
    }
    const PrintOutcome outcome = PrintTextToPdf(bytes, pdf.get(), *m_pdfPaper, m_yield);
    if (!finishFile(*pdf, error)) {
        error = QStringLiteral("cannot write in %1: %2").arg(m_dir, error);
        return nullptr;
    }
    if (outcome.failed) {
        error = QStringLiteral("cannot draw the PDF: no font to draw Helvetica with (install "
                               "fonts-urw-base35)");
        return nullptr;
    }
    sheets = outcome.sheets;
    return pdf;
}

JobReport JobFiles::write(Kept &kept)
{
    const QByteArray &bytes = kept.job.bytes;
    JobReport report;
    report.firstByte = kept.job.firstByte;
    report.bytes = bytes.size();
    report.lines = countLines(bytes);
    report.pages = countPages(bytes, kLinesPerPage);
    const QDir dir(m_dir);
    const bool textOnDisk = !kept.name.isEmpty();

    std::unique_ptr<QTemporaryFile> text;
    if (!textOnDisk) {
        QString error;
        text = temporaryWith(m_dir, bytes, error);
        if (!text) {
            report.error = QStringLiteral("cannot write in %1: %2").arg(m_dir, error);
            return report;
        }
    }
    std::unique_ptr<QTemporaryFile> pdf;
    if (m_pdfPaper)
        pdf = drawPdf(bytes, report.pages, report.error);

    if (textOnDisk) {
        report.textPath = dir.filePath(kept.name + QLatin1String(".txt"));
        if (!pdf)
            return report;
        const QString pdfPath = dir.filePath(kept.name + QLatin1String(".pdf"));
        const Placement placed = place(pdf->fileName(), pdfPath);
        if (placed.result == Placed::Done)
            report.pdfPath = pdfPath;
        else if (placed.result == Placed::Taken)
            report.error = QStringLiteral("%1 exists and is not overwritten").arg(pdfPath);
        else
            report.error = QStringLiteral("cannot name %1: %2")
                               .arg(pdfPath, QString::fromLocal8Bit(std::strerror(placed.error)));
        return report;
    }

    const QString base = baseName(kept.job.firstByte);
    for (int number = 1; number <= kMostNamesPerSecond; ++number) {
        const QString name = nameFor(base, number);
        const QString textPath = dir.filePath(name + QLatin1String(".txt"));
        const QString pdfPath = dir.filePath(name + QLatin1String(".pdf"));
        // The PDF must be able to take the same name as its text.
        if (m_pdfPaper && nameTaken(pdfPath))
            continue;
        const Placement placedText = place(text->fileName(), textPath);
        if (placedText.result == Placed::Taken)
            continue;
        if (placedText.result == Placed::Failed) {
            report.error =
                QStringLiteral("cannot name %1: %2")
                    .arg(textPath, QString::fromLocal8Bit(std::strerror(placedText.error)));
            return report;
        }
        if (pdf) {
            const Placement placedPdf = place(pdf->fileName(), pdfPath);
            if (placedPdf.result == Placed::Taken) {
                unplace(text->fileName(), textPath, placedText);
                continue;
            }
            if (placedPdf.result == Placed::Done)
                report.pdfPath = pdfPath;
            else
                report.error =
                    QStringLiteral("cannot name %1: %2")
                        .arg(pdfPath, QString::fromLocal8Bit(std::strerror(placedPdf.error)));
        }
        kept.name = name;
        report.textPath = textPath;
        return report;
    }
    report.error = QStringLiteral("no free name for %1 in %2").arg(base, m_dir);
    return report;
}
