#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QPageSize>
#include <QString>
#include <QVector>

#include <deque>
#include <memory>
#include <optional>

class QTemporaryFile;
class Yield;

// Everything that arrived between two quiet times.
struct Job {
    QByteArray bytes;
    QDateTime firstByte; // local time
};

// What became of one job this time round.
struct JobReport {
    QDateTime firstByte;
    QString textPath; // the .txt, once written
    QString pdfPath; // the .pdf, once written
    qint64 bytes = 0;
    int lines = 0;
    int pages = 0; // sheets of the PDF; without one, pages of 62 lines
    QString error; // why it is still kept; empty when it is all on disk

    bool saved() const { return error.isEmpty(); }
};

// Writes jobs into DIR as YYYY-MM-DD_HH-MM-SS.txt (and .pdf beside it), the
// second job of a second as -2, -3, ... A file is written under a temporary
// name in DIR and then given its name by a call that fails when the name is
// taken, so nothing is ever overwritten, not even by another program racing
// for the same name. A job that cannot be written is kept, oldest first.
class JobFiles {
public:
    JobFiles(const QString &dir, std::optional<QPageSize> pdfPaper, Yield &yield);
    ~JobFiles();
    JobFiles(const JobFiles &) = delete;
    JobFiles &operator=(const JobFiles &) = delete;

    // Tries the kept jobs, then this one; a report for each.
    QVector<JobReport> save(Job job);
    // Tries the kept jobs again.
    QVector<JobReport> retry();

    bool hasKept() const { return !m_kept.empty(); }
    // Takes out the kept jobs whose text is not on disk. What stays is a
    // text on disk whose PDF could not be written.
    QVector<Job> takeUnwrittenText();

    // Makes DIR when missing and proves a file can be made in it.
    static bool prepare(const QString &dir, QString &error);
    static QString baseName(const QDateTime &firstByte);

private:
    struct Kept {
        Job job;
        QString name; // the base name, once the text is on disk
    };
    JobReport write(Kept &kept);
    std::unique_ptr<QTemporaryFile> drawPdf(const QByteArray &bytes, int &sheets, QString &error);

    QString m_dir;
    std::optional<QPageSize> m_pdfPaper;
    Yield &m_yield;
    std::deque<Kept> m_kept;
};
