#include "PrintFeeder.h"

#include "Outcome.h"
#include "PrintWorker.h"

namespace {

constexpr int kFirstRetryMs = 3000;
constexpr int kMostRetryMs = 60000;

} // namespace

PrintFeeder::PrintFeeder(JobStore &store, PrintWorker &worker, Outcome &outcome,
                         const QString &queue)
    : m_store(store), m_worker(worker), m_outcome(outcome), m_queue(queue), m_retryMs(kFirstRetryMs)
{
    m_retry.setSingleShot(true);
    QObject::connect(&m_retry, &QTimer::timeout, [this] { tryNow(); });
    m_giveUp.setSingleShot(true);
    QObject::connect(&m_giveUp, &QTimer::timeout, [this] {
        m_pastDeadline = true;
        m_worker.cancel();
        idle();
    });
}

void PrintFeeder::lookUp()
{
    m_lookingUp = true;
    m_worker.add({{}, {}, {}, true});
}

void PrintFeeder::lookedUp(const PrintResult &result)
{
    m_lookingUp = false;
    // Files first: the capture goes on whatever the printer says.
    if (!result.receipt.error.isEmpty()) {
        m_outcome.say(result.receipt.error +
                      QStringLiteral("; jobs are kept, and printed once the queue is there"));
        m_reason = result.receipt.error;
        m_outcome.printsAll(waitNote());
        tryLater();
        return idle();
    }
    tryNow();
}

QString PrintFeeder::waitNote() const
{
    return QStringLiteral("print waits: %1: %2").arg(m_queue, m_reason);
}

bool PrintFeeder::takesPagesOf(const QString &name)
{
    const Waiting *next = m_store.nextPrint();
    if (busy() || waiting() || m_pastDeadline || !next || next->name != name)
        return false;
    m_pagesFor = name;
    return true;
}

void PrintFeeder::tryNow()
{
    if (busy())
        return;
    if (m_finishing && (m_pastDeadline || waiting()))
        return idle();
    m_retry.stop();
    Waiting *next = m_store.nextPrint();
    if (!next)
        return idle();
    if (!next->pdf.isEmpty())
        return send(*next);
    if (next->job.bytes.isEmpty()) {
        // Its pages are made from its text on disk.
        QString error;
        next->job.bytes = m_store.readText(next->name, error);
        if (!error.isEmpty() || next->job.bytes.isEmpty()) {
            m_outcome.say(QStringLiteral("%1: its print is given up: %2")
                              .arg(m_store.textPath(next->name),
                                   error.isEmpty() ? QStringLiteral("it is empty") : error));
            PrintMarks::done(next->mark);
            m_store.forgetPrint(next->name);
            return tryNow();
        }
    }
    m_pagesFor = next->name;
    if (needPages)
        needPages(*next);
}

void PrintFeeder::pagesMade(const QString &name, const QByteArray &pdf, const QString &error)
{
    if (name != m_pagesFor)
        return;
    m_pagesFor.clear();
    Waiting *next = m_store.nextPrint();
    if (!next || next->name != name)
        return tryNow();
    if (!error.isEmpty()) {
        startWaiting(error);
        return idle();
    }
    next->pdf = pdf;
    if (m_pastDeadline)
        return idle();
    send(*next);
}

void PrintFeeder::send(Waiting &print)
{
    m_sending = print.name;
    m_worker.add({print.name, print.mark, print.pdf});
}

void PrintFeeder::done(const PrintResult &result)
{
    if (result.paper)
        m_paper = result.paper;
    m_queue = result.receipt.queue;
    if (result.lookUp)
        return lookedUp(result);
    m_sending.clear();
    if (result.receipt.printed)
        m_store.forgetPrint(result.name);
    if (onChange)
        onChange();
    if (!result.receipt.printed) {
        // Cut short by the end, it waits for the next start: no news.
        if (!m_pastDeadline)
            startWaiting(result.receipt.error);
        return idle();
    }
    if (waiting())
        m_outcome.say(
            QStringLiteral("%1 takes prints %2").arg(m_queue, m_tookAny ? "again" : "now"));
    m_reason.clear();
    m_tookAny = true;
    m_retryMs = kFirstRetryMs;
    m_outcome.print(
        result.name, m_store.textPath(result.name),
        QStringLiteral("printed on %1 as job %2").arg(m_queue).arg(result.receipt.jobId));
    tryNow();
}

void PrintFeeder::startWaiting(const QString &reason)
{
    if (!waiting())
        m_outcome.say(QStringLiteral("%1 does not take prints (%2); they wait in %3 and are "
                                     "tried again")
                          .arg(m_queue, reason, m_store.dir()));
    m_reason = reason;
    m_outcome.printsAll(waitNote());
    tryLater();
}

void PrintFeeder::tryLater()
{
    if (m_finishing)
        return;
    m_retry.start(m_retryMs);
    m_retryMs = qMin(m_retryMs * 2, kMostRetryMs);
}

void PrintFeeder::finish(int ms)
{
    m_finishing = true;
    m_retry.stop();
    m_giveUp.start(ms);
    tryNow();
}

void PrintFeeder::idle()
{
    if (busy() || !m_finishing)
        return;
    m_giveUp.stop();
    m_outcome.printsAll(waiting() ? waitNote() : QStringLiteral("print waits for the next start"));
    if (onIdle)
        onIdle();
}
