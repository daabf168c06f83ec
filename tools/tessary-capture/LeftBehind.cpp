#include "LeftBehind.h"

#include "OwnFile.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <sys/stat.h>

namespace {
const QString kAheadStart = QStringLiteral(".tessary-job-");

// The text in DIR that is the same file: its base name, or nothing.
QString textOfInode(const QDir &folder, ino_t inode)
{
    for (const QString &name : folder.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        struct stat info { };
        if (::lstat(QFile::encodeName(folder.filePath(name)).constData(), &info) == 0 &&
            info.st_ino == inode)
            return name.chopped(4);
    }
    return {};
}

// The first byte's time in a write-ahead file's name; invalid for another name.
QDateTime firstByteOf(const QString &name)
{
    bool isJob = false;
    const qint64 ms =
        name.mid(kAheadStart.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&isJob);
    return isJob && name.startsWith(kAheadStart) ? QDateTime::fromMSecsSinceEpoch(ms) : QDateTime();
}
} // namespace

const QString kTemporaryPrefix = QStringLiteral(".tessary-capture-");

QString writeAheadPrefix(const QDateTime &firstByte)
{
    return kAheadStart + QString::number(firstByte.toMSecsSinceEpoch()) + QLatin1Char('-');
}

LeftBehind findLeftBehind(const QString &dir)
{
    LeftBehind found;
    const QDir folder(dir);
    const QStringList names =
        folder.entryList({kAheadStart + '*', kTemporaryPrefix + '*'},
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString path = folder.filePath(name);
        OwnFile file;
        QString why;
        if (!file.open(path, why)) {
            found.leftAlone << QStringLiteral("%1 (%2)").arg(name, why);
            continue;
        }
        if (file.heldByAnother())
            continue;
        const QDateTime firstByte = firstByteOf(name);
        // A PDF half written, or a write-ahead file with nothing in it.
        if (name.startsWith(kTemporaryPrefix) || (firstByte.isValid() && file.size() == 0)) {
            QFile::remove(path);
            continue;
        }
        const QByteArray bytes = firstByte.isValid() ? file.readAll(why) : QByteArray();
        if (!firstByte.isValid() || !why.isEmpty()) {
            found.leftAlone << QStringLiteral("%1 (%2)").arg(
                name, why.isEmpty() ? QStringLiteral("not a name a run gives") : why);
            continue;
        }
        found.jobs.append({{bytes, firstByte},
                           path,
                           file.links() > 1 ? textOfInode(folder, file.inode()) : QString()});
    }
    std::sort(found.jobs.begin(), found.jobs.end(),
              [](const LeftJob &a, const LeftJob &b) { return a.job.firstByte < b.job.firstByte; });
    return found;
}
