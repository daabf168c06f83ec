#include "LeftBehind.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kAheadStart = QStringLiteral(".tessary-job-");

// A file that another program holds open and locked (a capture running
// there too) is not to be touched.
bool heldByAnother(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}
} // namespace

const QString kTemporaryPrefix = QStringLiteral(".tessary-capture-");

QString writeAheadPrefix(const QDateTime &firstByte)
{
    return kAheadStart + QString::number(firstByte.toMSecsSinceEpoch()) + QLatin1Char('-');
}

QVector<LeftJob> jobsLeftBehind(const QString &dir)
{
    QVector<LeftJob> jobs;
    const QDir folder(dir);
    for (const QString &name :
         folder.entryList({QStringLiteral(".tessary-*")}, QDir::Files | QDir::Hidden)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly) || heldByAnother(file.handle()))
            continue;
        bool isJob = false;
        const qint64 firstByte = name.startsWith(kAheadStart)
            ? name.mid(kAheadStart.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&isJob)
            : 0;
        struct stat info { };
        // A job whose text took its name just before the end is there already.
        const bool named = ::fstat(file.handle(), &info) == 0 && info.st_nlink > 1;
        if (isJob && !named && file.size() > 0)
            jobs.append(
                {{file.readAll(), QDateTime::fromMSecsSinceEpoch(firstByte)}, file.fileName()});
        else
            file.remove();
    }
    std::sort(jobs.begin(), jobs.end(),
              [](const LeftJob &a, const LeftJob &b) { return a.job.firstByte < b.job.firstByte; });
    return jobs;
}
