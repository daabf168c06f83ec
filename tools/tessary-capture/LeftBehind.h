#pragma once

#include "Job.h"

#include <QString>
#include <QVector>

// A job that was arriving when a run ended without saving it (kill -9, a
// power cut): its write-ahead file, named after its first byte's arrival.
struct LeftJob {
    Job job;
    QString path;
};

// What an earlier run left in DIR, oldest first; the temporary files it
// left are removed. Files that a run still holds are not touched.
QVector<LeftJob> jobsLeftBehind(const QString &dir);

// Temporary files in DIR: a job written ahead, and any other.
QString writeAheadPrefix(const QDateTime &firstByte);
extern const QString kTemporaryPrefix;
