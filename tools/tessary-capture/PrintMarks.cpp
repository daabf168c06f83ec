#include "PrintMarks.h"

#include "AtomicFile.h"
#include "Counted.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kPrintsFolder = QStringLiteral(".tessary-prints");

// "N-NAME": the mark's number and its job's name; 0 when it is no mark.
std::pair<int, QString> partsOf(const QString &mark)
{
    const int dash = int(mark.indexOf(QLatin1Char('-')));
    bool ok = false;
    const int number = mark.left(dash).toInt(&ok);
    return ok && dash > 0 ? std::pair(number, mark.mid(dash + 1)) : std::pair(0, QString());
}

} // namespace

PrintMarks::PrintMarks(const QString &dir, const QString &printer) : m_dir(dir), m_printer(printer)
{ }

QString PrintMarks::folder() const
{
    return QDir(m_dir).filePath(kPrintsFolder + QLatin1Char('/') + m_printer);
}

QVector<PrintMarks::Mark> PrintMarks::load(QString &othersNote)
{
    const QDir prints(QDir(m_dir).filePath(kPrintsFolder));
    std::vector<std::pair<int, QString>> found;
    int others = 0;
    QStringList otherQueues;
    for (const QString &queue : prints.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QStringList marks = QDir(prints.filePath(queue)).entryList(QDir::Files);
        if (queue != m_printer && !marks.isEmpty()) {
            others += int(marks.size());
            otherQueues << queue;
        }
        for (const QString &mark : marks) {
            const auto parts = partsOf(mark);
            if (queue == m_printer && parts.first > 0)
                found.push_back(parts);
        }
    }
    std::sort(found.begin(), found.end());
    QVector<Mark> loaded;
    for (const auto &[number, name] : found) {
        loaded.append({name,
                       QStringLiteral("%1/%2-%3")
                           .arg(folder())
                           .arg(number, 8, 10, QLatin1Char('0'))
                           .arg(name)});
        m_last = std::max(m_last, number);
    }
    if (others > 0)
        othersNote = QStringLiteral("%1 of an earlier run wait in %2 for another printer (%3); "
                                    "a run that prints there prints them")
                         .arg(counted(others, "print", "prints"), prints.path(),
                              otherQueues.join(QStringLiteral(", ")));
    tidy();
    return loaded;
}

QString PrintMarks::add(const QString &name, QString &error)
{
    const QString mark =
        QStringLiteral("%1/%2-%3").arg(folder()).arg(++m_last, 8, 10, QLatin1Char('0')).arg(name);
    if (!QDir().mkpath(folder())) {
        error = QStringLiteral("cannot make the folder %1").arg(folder());
        return {};
    }
    const int fd =
        ::open(QFile::encodeName(mark).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
    if (fd < 0 || ::close(fd) != 0 || !AtomicFile::syncFolder(folder())) {
        error = QStringLiteral("cannot write in %1: %2")
                    .arg(folder(), QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    return mark;
}

bool PrintMarks::done(const QString &mark)
{
    if (mark.isEmpty())
        return true;
    const bool removed = ::unlink(QFile::encodeName(mark).constData()) == 0 || errno == ENOENT;
    AtomicFile::syncFolder(QFileInfo(mark).path());
    return removed;
}

void PrintMarks::tidy() const
{
    QDir prints(QDir(m_dir).filePath(kPrintsFolder));
    for (const QString &queue : prints.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        prints.rmdir(queue);
    QDir(m_dir).rmdir(kPrintsFolder);
}
