#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <deque>
#include <functional>
#include <memory>

class AtomicFile;

// Everything that arrived between two quiet times.
struct Job {
    QByteArray bytes;
    QDateTime firstByte; // local time
};

// What became of one job's text this time round.
struct TextReport {
    Job job;
    QString name; // the base name, once the text is on disk
    QString textPath;
    QString error; // why it is still kept; empty when it is on disk
    bool folderMadeAgain = false; // DIR had gone and was made again for it

    bool saved() const { return error.isEmpty(); }
};

// A PDF of a job whose text is on disk.
struct PdfReport {
    QString pdfPath; // once written
    QString error;
};

// Writes jobs into DIR as YYYY-MM-DD_HH-MM-SS.txt (and .pdf beside it), the
// second job of a second as -2, -3, ... A file is written under a temporary
// name in DIR and then given its name by a call that fails when the name is
// taken, so nothing is ever overwritten, not even by another program racing
// for the same name. What cannot be written is kept, oldest first.
class JobFiles {
public:
    // withPdf: every text's name is chosen so that its PDF can follow.
    JobFiles(const QString &dir, bool withPdf);
    ~JobFiles();

    // Bytes of the job arriving, written ahead into a temporary file so
    // that little is left to do when it ends; what cannot be written there
    // is written when the job is saved.
    void writeAhead(QByteArrayView bytes);

    // Writes the kept texts, then this one; a report for each. `more`, when
    // given, is asked for what arrived after the job until it hands nothing:
    // that goes into the same file, so the job stays one.
    QVector<TextReport> save(Job job, const std::function<QByteArray()> &more = {});
    // Tries the kept texts and PDFs again.
    QVector<TextReport> retryTexts();
    QVector<PdfReport> retryPdfs();

    // Writes NAME.pdf beside NAME.txt; safe from any thread, as it touches
    // nothing but the disk.
    PdfReport writePdf(const QString &name, const QByteArray &pdf) const;
    // A PDF that could not be written, to be tried again.
    void keepPdf(const QString &name, const QByteArray &pdf);

    QString dir() const { return m_dir; }
    QString textPath(const QString &name) const;

    bool hasKeptTexts() const { return !m_kept.empty(); }
    bool hasKeptPdfs() const { return !m_keptPdfs.empty(); }
    // Takes out the kept jobs whose text is not on disk.
    QVector<Job> takeUnwrittenTexts();

    // Makes DIR when missing and proves a file can be made in it.
    static bool prepare(const QString &dir, QString &error);
    static QString baseName(const QDateTime &firstByte);

private:
    TextReport write(Job &job, const std::function<QByteArray()> &more,
                     std::unique_ptr<AtomicFile> text);
    std::unique_ptr<AtomicFile> newFile() const;

    QString m_dir;
    bool m_withPdf = false;
    std::deque<Job> m_kept;
    std::deque<std::pair<QString, QByteArray>> m_keptPdfs;
    std::unique_ptr<AtomicFile> m_ahead;
    qint64 m_writtenAhead = 0;
};
