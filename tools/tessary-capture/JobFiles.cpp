#include "JobFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <atomic>
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

struct Placement {
    Placed result = Placed::Failed;
    int error = 0;
};

std::atomic<bool> renameOnly {false};

// Gives a temporary file its name: by a second hard link or, where the file
// system has no hard links (FAT on a memory stick), by a rename that refuses
// to replace.
Placement place(const QString &temporary, const QString &final)
{
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(final);
    Placement placement;
    errno = EPERM;
    if (!renameOnly && ::link(from.constData(), to.constData()) == 0) {
        placement.result = Placed::Done;
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
bool syncFile(QTemporaryFile &file, QString &error)
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
    return true;
}

bool finishFile(QTemporaryFile &file, QString &error)
{
    if (!syncFile(file, error))
        return false;
    file.close();
    return true;
}

bool writeAll(QTemporaryFile &file, const QByteArray &bytes, QString &error)
{
    errno = 0;
    if (file.write(bytes) == bytes.size())
        return true;
    // A write cut short by a full disk or a size limit leaves Qt without a
    // reason; the system has one.
    error = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
    return false;
}

// Writes all of `bytes` into a fresh temporary file in `dir`.
std::unique_ptr<QTemporaryFile> temporaryWith(const QString &dir, const QByteArray &bytes,
                                              QString &error)
{
    auto file = temporaryIn(dir, error);
    if (!file || !writeAll(*file, bytes, error) || !finishFile(*file, error))
        return nullptr;
    return file;
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

JobFiles::JobFiles(const QString &dir, bool withPdf) : m_dir(dir), m_withPdf(withPdf) { }

QString JobFiles::baseName(const QDateTime &firstByte)
{
    return firstByte.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

QString JobFiles::textPath(const QString &name) const
{
    return QDir(m_dir).filePath(name + QLatin1String(".txt"));
}

void JobFiles::useRenameOnly(bool on)
{
    renameOnly = on;
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

QVector<TextReport> JobFiles::save(Job job, const std::function<QByteArray()> &more)
{
    QVector<TextReport> reports = retryTexts();
    reports.append(write(job, more));
    if (!reports.last().saved())
        m_kept.push_back(std::move(job));
    return reports;
}

QVector<TextReport> JobFiles::retryTexts()
{
    QVector<TextReport> reports;
    for (auto kept = m_kept.begin(); kept != m_kept.end();) {
        reports.append(write(*kept, {}));
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

TextReport JobFiles::write(Job &job, const std::function<QByteArray()> &more)
{
    TextReport report;
    // A folder removed while the capture runs is made again, as at the start.
    if (!QFileInfo::exists(m_dir)) {
        std::error_code code;
        report.folderMadeAgain =
            std::filesystem::create_directories(QFile::encodeName(m_dir).toStdString(), code);
    }
    QString error;
    std::unique_ptr<QTemporaryFile> text = temporaryIn(m_dir, error);
    bool written = text && writeAll(*text, job.bytes, error);
    // Bytes handed in after the job's own go into the same file until none
    // come, also once the file is on the disk.
    bool synced = false;
    while (written) {
        const QByteArray extra = more ? more() : QByteArray();
        if (!extra.isEmpty()) {
            job.bytes += extra;
            written = writeAll(*text, extra, error);
            synced = false;
        } else if (synced) {
            break;
        } else {
            written = syncFile(*text, error);
            synced = true;
        }
    }
    if (written)
        text->close();
    report.job = job;
    if (!written) {
        report.error = QStringLiteral("cannot write in %1: %2").arg(m_dir, error);
        return report;
    }

    const QDir dir(m_dir);
    const QString base = baseName(job.firstByte);
    for (int number = 1; number <= kMostNamesPerSecond; ++number) {
        const QString name = nameFor(base, number);
        const QString textPath = dir.filePath(name + QLatin1String(".txt"));
        // The PDF must be able to take the same name as its text.
        if (m_withPdf && nameTaken(dir.filePath(name + QLatin1String(".pdf"))))
            continue;
        const Placement placed = place(text->fileName(), textPath);
        if (placed.result == Placed::Taken)
            continue;
        if (placed.result == Placed::Failed) {
            report.error =
                QStringLiteral("cannot name %1: %2").arg(textPath, systemText(placed.error));
            return report;
        }
        report.name = name;
        report.textPath = textPath;
        return report;
    }
    report.error = QStringLiteral("no free name for %1 in %2").arg(base, m_dir);
    return report;
}

PdfReport JobFiles::writePdf(const QString &name, const QByteArray &pdf) const
{
    const QDir dir(m_dir);
    PdfReport report;
    report.textPath = textPath(name);
    const QString pdfPath = dir.filePath(name + QLatin1String(".pdf"));
    QString error;
    const std::unique_ptr<QTemporaryFile> file = temporaryWith(m_dir, pdf, error);
    if (!file) {
        report.error = QStringLiteral("cannot write in %1: %2").arg(m_dir, error);
        return report;
    }
    const Placement placed = place(file->fileName(), pdfPath);
    if (placed.result == Placed::Done)
        report.pdfPath = pdfPath;
    else if (placed.result == Placed::Taken)
        report.error = QStringLiteral("%1 exists and is not overwritten").arg(pdfPath);
    else
        report.error = QStringLiteral("cannot name %1: %2").arg(pdfPath, systemText(placed.error));
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
