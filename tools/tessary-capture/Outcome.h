#pragma once

#include "JobStore.h"
#include "Say.h"

#include <QStringList>

#include <QByteArrayView>
#include <QMap>
#include <QString>
#include <QVector>

#include <cstdio>

class LiveLine;
struct PrintNews;

// Everything the capture tells: the live line while a job arrives, each
// job's own line, the messages, and the exit status they add up to.
class Outcome {
public:
    // Exit statuses besides 0 (all saved and printed) and 2 (usage).
    static constexpr int kNotSaved = 1;
    static constexpr int kPrintsWait = 3;

    // Lines go to `err`, standard error in the program.
    explicit Outcome(LiveLine &live, std::FILE *err = stderr) : m_live(live), m_err(err) { }

    void arriving(QByteArrayView bytes);
    void jobEnded();
    // "program: text", in place of the live line.
    void say(const QString &text, Priority priority);
    // A line of its own, in place of the live line.
    void line(const QString &text, Priority priority = Priority::Notice);

    // A job's line: where its text is, its bytes, lines and pages, a note,
    // and a hint when it looks like the work of wrong line settings. With
    // `awaitPrint` it is held until its print is told.
    void job(const QString &name, const QString &where, const QByteArray &bytes, int pages,
             const QString &note = {}, bool awaitPrint = false);
    // What became of a job's print, its text at `where`: on its held line,
    // or on a line of its own; news of no one print as a message.
    void print(const PrintNews &news, const QString &where);

    // A job's text or PDF could not be saved.
    void notSaved() { m_notSaved = true; }
    // No pages could be drawn of the job whose text is at `where`.
    void noPages(const QString &where, const QString &reason);
    // Why something of a job is not saved yet; with `later`, that it is kept
    // and tried again.
    void notSavedYet(const QString &what, const QString &error, bool later);
    // A job an earlier run left, saved now or not.
    void recovered(const TextReport &report);
    // What an earlier run's leftovers in DIR hold that is neither read nor removed.
    void leftAlone(const QString &dir, const QStringList &names);
    // DIR had gone and is made again.
    void madeAgain(const QString &dir);
    // A job's print cannot be kept on disk.
    void notKept(const QString &where, const QString &error);
    // The stop's time to read the job arriving ran out.
    void cutShort(const Job &job, int seconds);
    // At the end: the prints that still wait, `kept` on disk for the next
    // start, and those nothing keeps, so they are not made: `unkept` has the
    // command that prints each by hand.
    void printsLeft(int kept, const QStringList &unkept, const QString &queue, const QString &dir);
    // Texts that could not be written even at the end go to standard output
    // unless that is a terminal, one after another in the order they came;
    // whether each is kept there.
    QVector<bool> rescue(const QVector<Job> &jobs);
    // PDFs that could not be written even at the end, or not made before
    // a second signal.
    void pdfsLost();
    void pdfsCut();
    int exitStatus() const;

    // "the job of 2024-03-05 07:08:09 (120 bytes)"
    static QString jobName(const Job &job);
    // The notes of a job's line: a second signal cut it; it looks like
    // wrong line settings and is not printed, though `byHand` prints it.
    static QString cutNote();
    static QString suspectNote(const QString &byHand);

private:
    LiveLine &m_live;
    std::FILE *m_err;
    bool m_notSaved = false;
    int m_printsWaiting = 0;
    bool m_notPrinted = false;
    // Lines held for their print, by job name, and whether they end in the hint.
    QMap<QString, std::pair<QString, bool>> m_held;
};
