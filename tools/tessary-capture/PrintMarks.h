#pragma once

#include <QString>
#include <QVector>

// The prints that wait, kept on disk from the moment a job's text is saved
// until CUPS has taken its print: an empty file DIR/.tessary-prints/QUEUE/
// N-NAME each, N counting up in the order the jobs came, QUEUE naming the
// printer ("printer-" and the queue's name, or "default"). Removing such a
// file by hand gives its print up.
class PrintMarks {
public:
    PrintMarks(const QString &dir, const QString &printer);

    struct Mark {
        QString name; // the job's
        QString path;
    };
    // The marks of this printer, oldest first; a note for those of others.
    QVector<Mark> load(QString &othersNote);
    // A new mark for the job; empty, with the reason, when it cannot be made.
    QString add(const QString &name, QString &error);
    // The print is done: its mark goes, for good even after a power cut.
    // Safe from any thread.
    static bool done(const QString &mark);
    // Folders left empty go.
    void tidy() const;

private:
    QString folder() const;

    QString m_dir;
    QString m_printer;
    int m_last = 0;
};
