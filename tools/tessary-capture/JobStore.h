#pragma once

#include "AtomicFile.h"
#include "Job.h"
#include "RetryClock.h"

#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <deque>
#include <functional>
#include <memory>

// What became of one job's text this time round.
struct TextReport {
    Job job;
    QString name; // the base name, once the text is on disk
    QString textPath;
    QString error; // why it still waits; empty when it is on disk
    // What notes on disk that its print is due (a print's mark), if any;
    // and why that could not be noted, though the text is saved.
    QString mark;
    QString intentError;
    bool folderMadeAgain = false; // DIR had gone and was made again for it
    bool recovered = false; // an earlier run left it, and it is saved now
    bool again = false; // tried again on the timer: a failure was told before

    bool saved() const { return error.isEmpty(); }
};

// What must be on disk before a job's text takes its name, so that no
// moment comes at which the text is saved and nothing says what is still
// due for it: a print's mark. The store asks before it names the text from
// its write-ahead file, maybe more than once when a name proves taken, and
// once after.
class TextIntent {
public:
    virtual ~TextIntent() = default;
    // `ahead` (a file name in DIR) is about to be named NAME.txt; why the
    // intent could not be written, or nothing.
    virtual QString before(const QString &name, const QString &ahead) = 0;
    // NAME.txt is in, and `ahead` goes next: the path of what now notes the
    // intent for the text, or nothing when there is none.
    virtual QString after(const QString &name, const QString &ahead) = 0;
};

// Keeps jobs in DIR as YYYY-MM-DD_HH-MM-SS.txt, the second job of a second
// as -2, -3, ... A job is written ahead into a file of its own in DIR while
// it arrives, and that very file is given its name when the job ends, by a
// call that fails when the name is taken, so nothing is ever overwritten.
// A job that cannot be written waits in memory, with what of it is written
// ahead kept on disk, and is tried again on a timer and with the next job.
// A write-ahead file left by a crash is saved at the next start. The store
// only stores: it never reads the port, makes pages or prints.
class JobStore {
public:
    // withPdf: every text's name is chosen so that its PDF can follow.
    JobStore(const QString &dir, bool withPdf,
             std::unique_ptr<RetryClock> clock = std::make_unique<TimerClock>());
    ~JobStore();
    JobStore(const JobStore &) = delete;
    JobStore &operator=(const JobStore &) = delete;

    // The job arriving, all of it so far: what is not yet on disk is
    // written ahead, so little is left to do when it ends.
    void writeAhead(const Job &arriving);
    // Tries the jobs that wait, then names this job's text, noting `intent`
    // first when there is one; a report for each.
    QVector<TextReport> save(Job job, TextIntent *intent = nullptr);
    QVector<TextReport> retry();
    // Told what the retry timer saved, or still could not.
    std::function<void(const QVector<TextReport> &)> onRetried;

    // The jobs that only memory holds whole, oldest first.
    QVector<Job> unsaved() const;
    // At the end: each of those kept elsewhere (`kept`, in the same order)
    // lets its write-ahead file go; the others leave theirs for the next start.
    void letGo(const QVector<bool> &kept);

    // Jobs an earlier run left arriving, saved now, each with the intent
    // `intentFor` gives it; `leftAlone` names what is left untouched.
    using IntentFor = std::function<TextIntent *(const Job &)>;
    QVector<TextReport> recover(const IntentFor &intentFor, QStringList &leftAlone);

    QString dir() const { return m_dir; }
    QString textPath(const QString &name) const;

    static QString baseName(const QDateTime &firstByte);

private:
    // A job not yet named: its bytes, and its write-ahead file, open (this
    // run's) or by path (an earlier run's), with how much of it is there.
    struct Pending {
        Job job;
        std::unique_ptr<AtomicFile> file;
        QString leftPath;
        qint64 onDisk = 0;
        TextIntent *intent = nullptr;
    };

    TextReport commit(Pending &pending);
    bool complete(Pending &pending, QString &error);
    void append(Pending &pending, QByteArrayView bytes);
    TextReport name(TextReport report, Pending &pending);
    AtomicFile::Placed place(Pending &pending, const QString &path, QString &error);
    void scheduleRetry();

    QString m_dir;
    bool m_withPdf = false;
    Pending m_arriving;
    std::deque<Pending> m_unsaved;
    std::unique_ptr<RetryClock> m_retry;
    int m_failures = 0;
    QTimer m_syncAhead;
};
