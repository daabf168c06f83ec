#include "Outcome.h"

#include "HeadlessApp.h"
#include "LiveLine.h"
#include "printjob/Pagination.h"

#include <cstdio>
#include <unistd.h>

namespace {

QString counted(qint64 count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

} // namespace

void Outcome::arriving(QByteArrayView bytes)
{
    m_live.add(bytes);
}

void Outcome::jobEnded()
{
    m_live.endJob();
}

void Outcome::jobLine(const QString &line)
{
    m_live.hide();
    std::fprintf(stderr, "%s\n", qUtf8Printable(line));
    std::fflush(stderr);
}

void Outcome::say(const QString &text)
{
    m_live.hide();
    ::say(text);
}

void Outcome::rescue(const QVector<Job> &jobs)
{
    for (const Job &job : jobs) {
        m_notSaved = true;
        if (::isatty(STDOUT_FILENO)) {
            say(QStringLiteral("%1 is lost: it could not be written, and standard output is a "
                               "terminal")
                    .arg(jobName(job)));
            continue;
        }
        const bool written = std::fwrite(job.bytes.constData(), 1, size_t(job.bytes.size()),
                                         stdout) == size_t(job.bytes.size()) &&
            std::fflush(stdout) == 0;
        say(jobName(job) +
            QLatin1String(written ? " could not be written; it went to standard output"
                                  : " could not be written, not even to standard output"));
    }
}

int Outcome::exitStatus() const
{
    return m_notSaved || m_notPrinted ? 1 : 0;
}

QString Outcome::summary(const QString &where, const QByteArray &bytes, int pages)
{
    return QStringLiteral("%1: %2, %3, %4")
        .arg(where, counted(bytes.size(), "byte", "bytes"),
             counted(countLines(bytes), "line", "lines"), counted(pages, "page", "pages"));
}

QString Outcome::jobName(const Job &job)
{
    return QStringLiteral("the job of %1 (%2)")
        .arg(job.firstByte.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             counted(job.bytes.size(), "byte", "bytes"));
}
