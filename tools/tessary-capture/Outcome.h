#pragma once

#include "Job.h"

#include <QByteArrayView>
#include <QString>
#include <QVector>

class LiveLine;

// Everything the capture tells: the live line while a job arrives, each
// job's own line, the messages, and the exit status they add up to.
class Outcome {
public:
    explicit Outcome(LiveLine &live) : m_live(live) { }

    void arriving(QByteArrayView bytes);
    void jobEnded();
    // A job's own line, in place of the live line.
    void jobLine(const QString &line);
    // "program: text", in place of the live line.
    void say(const QString &text);

    // A job's text or PDF could not be saved.
    void notSaved() { m_notSaved = true; }
    // A job was not printed.
    void notPrinted() { m_notPrinted = true; }
    // Texts that could not be written even at the end go to standard output
    // unless that is a terminal, one after another in the order they came.
    void rescue(const QVector<Job> &jobs);
    int exitStatus() const;

    // "DIR/NAME.txt: 120 bytes, 3 lines, 1 page"
    static QString summary(const QString &where, const QByteArray &bytes, int pages);
    // "the job of 2024-03-05 07:08:09 (120 bytes)"
    static QString jobName(const Job &job);

private:
    LiveLine &m_live;
    bool m_notSaved = false;
    bool m_notPrinted = false;
};
