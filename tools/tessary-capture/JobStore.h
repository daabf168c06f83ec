#pragma once

#include "AtomicFile.h"
#include "Job.h"
#include "PrintMarks.h"

#include <QByteArrayView>
#include <QString>
#include <QTimer>
#include <QVector>

#include <deque>
#include <memory>

// What became of one job's text this time round.
struct TextReport {
    Job job;
    QString name; // the base name, once the text is on disk
    QString textPath;
    QString error; // why it still waits; empty when it is on disk
    bool folderMadeAgain = false; // DIR had gone and was made again for it

    bool saved() const { return error.isEmpty(); }
};

// A PDF of a job whose text is on disk.
struct PdfReport {
    QString pdfPath; // once written
    QString error;
};

// Something of a job that could not be done yet and is tried again: a
// text or a PDF that could not be written, a print that CUPS has not taken.
struct Waiting {
    enum class What { Text, Pdf, Print };
    What what = What::Text;
    Job job; // for a print of an earlier run, no bytes: they are in its text
    QString name; // the text's base name, once it is on disk
    // A print: what keeps it on disk until CUPS has taken it (empty when that
    // could not be written), and its pages once made.
    QString mark;
    QByteArray pdf;
};

// Keeps jobs in DIR as YYYY-MM-DD_HH-MM-SS.txt (and .pdf beside it), the
// second job of a second as -2, -3, ... A job is written ahead into a
// temporary file in DIR while it arrives and given its name when it ends, by
// a call that fails when the name is taken, so nothing is ever overwritten,
// not even by another program racing for the same name. What cannot be done
// waits in one queue, oldest first. The store only writes: it never reads
// the port and never calls back.
// A print waits on disk (PrintMarks) from the moment its text is saved until
// CUPS has taken it. A write-ahead file left by a crash is saved at the next
// start.
class JobStore {
public:
    // withPdf: every text's name is chosen so that its PDF can follow.
    // printer: where prints go ("printer-NAME", "default"); empty: nowhere.
    JobStore(const QString &dir, bool withPdf, const QString &printer = {});
    ~JobStore();
    JobStore(const JobStore &) = delete;
    JobStore &operator=(const JobStore &) = delete;

    // Bytes of the job arriving, written ahead so that little is left to do
    // when it ends; what cannot be written there is written when it does.
    void writeAhead(QByteArrayView bytes, const QDateTime &firstByte);
    // Tries the waiting texts, then names this job's text; a report for
    // each. A text that cannot be written waits.
    QVector<TextReport> save(Job job);
    QVector<TextReport> retryTexts();

    // Writes NAME.pdf beside NAME.txt; safe from any thread, as it touches
    // nothing but the disk.
    PdfReport writePdf(const QString &name, const QByteArray &pdf) const;

    void wait(Waiting waiting);
    // Takes out everything of one kind that waits, oldest first.
    QVector<Waiting> takeWaiting(Waiting::What what);
    bool hasWaiting(Waiting::What what) const;
    int countWaiting(Waiting::What what) const;

    // The prints that wait from earlier runs, oldest first, and a line for
    // those of other printers.
    void loadPrints(QString &othersNote);
    // The job's print waits from now on, on disk when it can.
    void printWaits(const TextReport &saved, QString &error);
    // The print that comes next; null when none waits.
    Waiting *nextPrint();
    void forgetPrint(const QString &name);
    QByteArray readText(const QString &name, QString &error) const;

    // Jobs that were arriving when an earlier run ended without saving them,
    // saved now; and temporary files that run left, removed.
    QVector<TextReport> recover();

    QString dir() const { return m_dir; }
    QString textPath(const QString &name) const;

    // Makes DIR when missing and proves a file can be made in it.
    static bool prepare(const QString &dir, QString &error);
    static QString baseName(const QDateTime &firstByte);

private:
    TextReport write(const Job &job, std::unique_ptr<AtomicFile> text);
    TextReport name(TextReport report, AtomicFile &text) const;
    std::unique_ptr<AtomicFile>
    newFile(const QString &prefix,
            AtomicFile::Buffering buffering = AtomicFile::Buffering::Buffered) const;

    QString m_dir;
    bool m_withPdf = false;
    PrintMarks m_marks;
    std::deque<Waiting> m_waiting;
    // The job arriving: its temporary file, and how much of it went there.
    std::unique_ptr<AtomicFile> m_ahead;
    qint64 m_writtenAhead = 0;
    QTimer m_syncAhead;
};
