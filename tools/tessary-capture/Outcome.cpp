#include "Outcome.h"

#include "Counted.h"
#include "LineSettingsHint.h"
#include "LiveLine.h"
#include "PrintSpool.h"
#include "printjob/Pagination.h"

#include <QCoreApplication>

#include <algorithm>

#include <unistd.h>

namespace {

QString withHint(const QString &line, bool hint)
{
    return hint ? line + QLatin1String("; ") + wrongLineSettingsHint() : line;
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

void Outcome::line(const QString &text, Priority priority)
{
    m_live.hide();
    std::fprintf(m_err, "%s%s\n", journalPrefix(m_err, priority).constData(), qUtf8Printable(text));
    std::fflush(m_err);
}

void Outcome::say(const QString &text, Priority priority)
{
    line(QCoreApplication::applicationName() + QLatin1String(": ") + text, priority);
}

void Outcome::job(const QString &name, const QString &where, const QByteArray &bytes, int pages,
                  const QString &note, bool awaitPrint)
{
    QString text =
        QStringLiteral("%1: %2, %3, %4")
            .arg(where, counted(bytes.size(), "byte", "bytes"),
                 counted(countLines(bytes), "line", "lines"), counted(pages, "page", "pages"));
    if (!note.isEmpty())
        text += QLatin1String(", ") + note;
    const bool hint = looksLikeWrongLineSettings(bytes);
    if (awaitPrint)
        m_held.insert(name, {text, hint});
    else
        line(withHint(text, hint), hint ? Priority::Waits : Priority::Notice);
}

void Outcome::print(const PrintNews &news, const QString &where)
{
    if (news.name.isEmpty())
        return say(news.text, news.priority);
    // A print due and set aside is one not made; one given up by hand is not.
    if (news.state == PrintState::SetAside && !news.givenUp)
        m_notPrinted = true;
    const auto held = m_held.constFind(news.name);
    if (held == m_held.constEnd())
        return line(where + QLatin1String(": ") + news.text, news.priority);
    const Priority priority =
        held->second ? std::min(news.priority, Priority::Waits) : news.priority;
    line(withHint(held->first + QLatin1String(", ") + news.text, held->second), priority);
    m_held.erase(held);
}

void Outcome::noPages(const QString &where, const QString &reason)
{
    m_notSaved = true;
    say(QStringLiteral("%1: no pages made: %2").arg(where, reason), Priority::Fails);
}

void Outcome::notSavedYet(const QString &what, const QString &error, bool later)
{
    say(QStringLiteral("%1: %2%3")
            .arg(what, error,
                 later ? QStringLiteral("; it is kept and tried again in a few seconds, with the "
                                        "next job and at the end")
                       : QString()),
        Priority::Fails);
}

void Outcome::recovered(const TextReport &report)
{
    if (report.saved())
        say(QStringLiteral("%1 is recovered: the job was arriving when an earlier run ended "
                           "without saving it")
                .arg(report.textPath),
            Priority::Notice);
    else
        say(QStringLiteral("%1, left by an earlier run, is not saved: %2; it is kept and tried "
                           "again")
                .arg(jobName(report.job), report.error),
            Priority::Fails);
}

void Outcome::leftAlone(const QString &dir, const QStringList &names)
{
    if (!names.isEmpty())
        say(QStringLiteral("left alone in %1, neither read nor removed: %2")
                .arg(dir, names.join(QStringLiteral(", "))),
            Priority::Waits);
}

void Outcome::madeAgain(const QString &dir)
{
    say(QStringLiteral("%1 had gone and is made again").arg(dir), Priority::Waits);
}

void Outcome::notKept(const QString &where, const QString &error)
{
    say(QStringLiteral("%1: its print cannot be kept on disk: %2; it is printed while this run "
                       "lasts, if at all")
            .arg(where, error),
        Priority::Fails);
}

void Outcome::cutShort(const Job &job, int seconds)
{
    say(QStringLiteral("%1 was still arriving after %2 s: what came is saved; the rest was not "
                       "read")
            .arg(jobName(job))
            .arg(seconds),
        Priority::Waits);
}

void Outcome::printsLeft(int kept, const QStringList &unkept, const QString &queue,
                         const QString &dir)
{
    m_printsWaiting = kept;
    if (kept > 0)
        say(QStringLiteral("%1 waiting for %2; the next start with %3 prints %4")
                .arg(counted(kept, "print", "prints"), queue, dir,
                     QLatin1String(kept == 1 ? "it" : "them")),
            Priority::Waits);
    if (unkept.isEmpty())
        return;
    m_notPrinted = true;
    say(QStringLiteral("%1 not made, as nothing on disk kept %2; by hand: %3")
            .arg(counted(unkept.size(), "print is", "prints are"),
                 QLatin1String(unkept.size() == 1 ? "it" : "them"),
                 unkept.join(QStringLiteral("; "))),
        Priority::Fails);
}

void Outcome::pdfsLost()
{
    m_notSaved = true;
    say(QStringLiteral("some PDFs could not be written; their texts are saved"), Priority::Fails);
}

void Outcome::pdfsCut()
{
    m_notSaved = true;
    say(QStringLiteral("a second signal ends the capture before all PDFs are made; tessary-print "
                       "makes them from the texts"),
        Priority::Fails);
}

QVector<bool> Outcome::rescue(const QVector<Job> &jobs)
{
    QVector<bool> kept;
    for (const Job &job : jobs) {
        m_notSaved = true;
        if (::isatty(STDOUT_FILENO)) {
            say(QStringLiteral("%1 is lost: it could not be written, and standard output is a "
                               "terminal")
                    .arg(jobName(job)),
                Priority::Fails);
            kept.append(false);
            continue;
        }
        const bool written = std::fwrite(job.bytes.constData(), 1, size_t(job.bytes.size()),
                                         stdout) == size_t(job.bytes.size()) &&
            std::fflush(stdout) == 0;
        say(jobName(job) +
                QLatin1String(written ? " could not be written; it went to standard output"
                                      : " could not be written, not even to standard output"),
            Priority::Fails);
        kept.append(written);
    }
    return kept;
}

int Outcome::exitStatus() const
{
    if (m_notSaved || m_notPrinted)
        return kNotSaved;
    return m_printsWaiting > 0 ? kPrintsWait : 0;
}

QString Outcome::jobName(const Job &job)
{
    return QStringLiteral("the job of %1 (%2)")
        .arg(job.firstByte.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             counted(job.bytes.size(), "byte", "bytes"));
}

QString Outcome::cutNote()
{
    return QStringLiteral("cut short by a second signal: the rest was not read");
}

QString Outcome::suspectNote(const QString &byHand)
{
    return QStringLiteral("not printed: it looks like wrong line settings (%1 prints it anyway)")
        .arg(byHand);
}
