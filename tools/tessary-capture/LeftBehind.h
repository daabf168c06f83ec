#pragma once

#include "Job.h"

#include <QString>
#include <QStringList>
#include <QVector>

// A job that was arriving when a run ended without saving it (kill -9, a
// power cut): its write-ahead file, named after its first byte's arrival.
struct LeftJob {
    Job job;
    QString path;
    // Its text's name when the file was named already and only its
    // write-ahead name is left over (a second link to the same file).
    QString textName;
};

struct LeftBehind {
    QVector<LeftJob> jobs; // oldest first
    // What is not read, saved or removed, with why: what is not a regular
    // file of this user, and names that no run here gives.
    QStringList leftAlone;
};

// What an earlier run left in DIR. Only regular files of this program's
// user are read, never through a link; a run's temporary files are
// removed, and so is an empty write-ahead file; files that a run still
// holds are not touched.
LeftBehind findLeftBehind(const QString &dir);

// Temporary files in DIR: a job written ahead, and any other.
QString writeAheadPrefix(const QDateTime &firstByte);
extern const QString kTemporaryPrefix;
