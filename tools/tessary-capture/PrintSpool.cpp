#include "PrintSpool.h"

#include <QDir>
#include <QFileInfo>

PrintSpool::PrintSpool(PrintService &printer, Settings settings, std::unique_ptr<RetryClock> clock)
    : m_settings(std::move(settings)),
      m_marks(m_settings.dir, m_settings.printer),
      m_worker(printer),
      m_pages(m_settings.dir, m_settings.charset),
      m_queue(m_settings.printer, m_settings.paper),
      m_retry(std::move(clock))
{
    m_worker.setHandler([this](const PrintResult &result) { answered(result); });
    m_pages.onReady = [this](const QString &name, const QByteArray &pdf, const QString &error) {
        pagesReady(name, pdf, error);
    };
    m_marks.onChanged = [this] { sweep(); };
    m_giveUp.setSingleShot(true);
    QObject::connect(&m_giveUp, &QTimer::timeout, [this] {
        m_phase = Phase::PastDeadline;
        m_worker.cancel();
        endIfIdle();
    });
}

void PrintSpool::load()
{
    const PrintMarks::Found found = m_marks.load();
    for (const QString &line : found.told(m_queue.name()))
        say(line);
    if (!found.error.isEmpty())
        say(found.error, Priority::Fails, true);
    // Whether an earlier run sent them before it ended is not known.
    for (const PrintMarks::Mark &mark : found.due)
        m_prints.push_back({mark.name, mark.path, PrintState::Waiting, true});
}

void PrintSpool::start()
{
    tryNext();
}

void PrintSpool::add(const QString &name, const QString &mark)
{
    m_prints.push_back({name, mark});
    // A job that ends is a reason to try again at once: its line gives the
    // reason of a try made after it came.
    tryNext();
}

void PrintSpool::finish(int ms)
{
    m_phase = Phase::Finishing;
    m_retry->stop();
    m_giveUp.start(ms);
    tryNext();
}

bool PrintSpool::underWay() const
{
    return m_queue.lookup() == QueueState::Lookup::Asking ||
        std::any_of(m_prints.begin(), m_prints.end(),
                    [](const Print &print) { return print.state == PrintState::Sending; });
}

PrintSpool::Print *PrintSpool::first(PrintState state)
{
    for (Print &print : m_prints) {
        if (print.state == state)
            return &print;
    }
    return nullptr;
}

void PrintSpool::tryNext()
{
    if (underWay())
        return;
    Print *next = first(PrintState::Waiting);
    if (m_phase == Phase::PastDeadline || (m_phase == Phase::Finishing && m_queue.waiting()))
        next = nullptr;
    // The queue is looked up at the start, prints or not, and again while
    // it could not be found and prints wait.
    const QueueState::Lookup lookup = m_queue.lookup();
    if (lookup == QueueState::Lookup::NotAsked ||
        (next && lookup == QueueState::Lookup::NotFound)) {
        m_queue.asking();
        return m_worker.add({PrintOrder::Kind::FindQueue, {}, {}});
    }
    if (!next)
        return endIfIdle();
    m_retry->stop();
    next->state = PrintState::Sending;
    if (next->askFirst)
        return m_worker.add({PrintOrder::Kind::ListJobs, {}, {}});
    m_pages.make(next->name, m_queue.paper().value_or(QPageSize(QPageSize::A4)));
}

void PrintSpool::pagesReady(const QString &name, const QByteArray &pdf, const QString &error)
{
    Print *print = first(PrintState::Sending);
    if (!print || print->name != name)
        return;
    if (!error.isEmpty()) {
        settle(name, PrintState::SetAside, QStringLiteral("print set aside: ") + error);
        return tryNext();
    }
    if (m_phase == Phase::PastDeadline) {
        print->state = PrintState::Waiting;
        return endIfIdle();
    }
    m_worker.add({PrintOrder::Kind::Send, name, pdf});
}

void PrintSpool::answered(const PrintResult &result)
{
    m_queue.setName(result.queue);
    switch (result.order.kind) {
    case PrintOrder::Kind::FindQueue:
        return found(result);
    case PrintOrder::Kind::ListJobs:
        return listed(result);
    case PrintOrder::Kind::Send:
        if (Print *print = first(PrintState::Sending); print && print->name == result.order.name)
            return sent(*print, result.receipt);
        return tryNext();
    }
}

void PrintSpool::found(const PrintResult &result)
{
    if (result.receipt.answer != PrintReceipt::Answer::Accepted)
        return waitFor(m_queue.notFound(result.receipt.reason));
    m_queue.found(result.queue, result.paper);
    changed();
    tryNext();
}

// Prints whose answer was lost, or that an earlier run may have sent: the
// ones CUPS has are printed, the others are sent.
void PrintSpool::listed(const PrintResult &result)
{
    if (Print *asked = first(PrintState::Sending))
        asked->state = PrintState::Waiting;
    if (result.receipt.answer != PrintReceipt::Answer::Accepted)
        return waitFor(m_queue.waits(result.receipt.reason));
    QHash<QString, int> ids;
    for (const KnownJob &job : result.jobs)
        ids.insert(job.title, qMax(job.id, ids.value(job.title)));
    QStringList taken;
    for (Print &print : m_prints) {
        if (print.askFirst && ids.contains(print.name + QLatin1String(".txt")))
            taken << print.name;
        print.askFirst = false;
    }
    for (const QString &name : std::as_const(taken))
        settle(name, PrintState::Sent,
               QStringLiteral("printed on %1 as job %2")
                   .arg(m_queue.name())
                   .arg(ids[name + QLatin1String(".txt")]));
    tryNext();
}

void PrintSpool::sent(Print &print, const PrintReceipt &receipt)
{
    const QString name = print.name;
    switch (receipt.answer) {
    case PrintReceipt::Answer::Accepted:
        say(m_queue.takes());
        settle(name, PrintState::Sent,
               QStringLiteral("printed on %1 as job %2").arg(m_queue.name()).arg(receipt.jobId));
        return tryNext();
    case PrintReceipt::Answer::Refused:
        settle(name, PrintState::SetAside,
               QStringLiteral("print set aside: %1 refuses it (%2), so it is not tried again: "
                              "print it by hand with %3")
                   .arg(m_queue.name(), receipt.reason, byHand(name)));
        return tryNext();
    case PrintReceipt::Answer::Unknown:
        print.askFirst = true;
        [[fallthrough]];
    case PrintReceipt::Answer::Waits:
        print.state = PrintState::Waiting;
        // Given up by hand while it was under way.
        sweep();
        return waitFor(m_queue.waits(receipt.reason));
    }
}

// Prints wait for the queue or the server. The job lines not told yet get
// the latest try's reason; the next try comes after a back-off.
void PrintSpool::waitFor(const QString &line)
{
    say(line, Priority::Waits);
    for (Print &print : m_prints) {
        if (!print.told && print.state == PrintState::Waiting)
            tell(print, PrintState::Waiting,
                 QStringLiteral("print waits: %1: %2").arg(m_queue.name(), m_queue.reason()));
    }
    changed();
    if (m_phase != Phase::Running)
        return endIfIdle();
    m_retry->start(retryDelayMs(m_queue.failures()), [this] { tryNext(); });
}

// A print is done with: its mark goes, and its news is told.
void PrintSpool::settle(const QString &name, PrintState state, const QString &text, bool givenUp)
{
    const auto print = std::find_if(m_prints.begin(), m_prints.end(),
                                    [&name](const Print &each) { return each.name == name; });
    if (print == m_prints.end())
        return;
    QString error;
    if (!PrintMarks::done(print->mark, error))
        say(error +
                QStringLiteral("; the next start asks CUPS whether it has that print before "
                               "it is sent again"),
            Priority::Fails, true);
    tell(*print, state, text, givenUp);
    m_prints.erase(print);
    if (m_prints.empty())
        m_marks.tidy();
    changed();
}

void PrintSpool::tell(Print &print, PrintState state, const QString &text, bool givenUp)
{
    print.told = true;
    const Priority priority = state == PrintState::Sent ? Priority::Notice : Priority::Waits;
    if (onNews)
        onNews({print.name, state, text, priority, false, givenUp});
}

void PrintSpool::say(const QString &text, Priority priority, bool trouble)
{
    if (onNews && !text.isEmpty())
        onNews({{}, PrintState::Waiting, text, priority, trouble});
}

// A mark removed by hand gives its print up at once.
void PrintSpool::sweep()
{
    QStringList gone;
    for (const Print &print : m_prints) {
        if (print.state == PrintState::Waiting && !print.mark.isEmpty() &&
            !PrintMarks::exists(print.mark))
            gone << print.name;
    }
    for (const QString &name : std::as_const(gone))
        settle(name, PrintState::SetAside, QStringLiteral("print given up: its mark was removed"),
               true);
}

void PrintSpool::endIfIdle()
{
    if (m_phase == Phase::Running || underWay())
        return;
    endNow();
}

void PrintSpool::endNow()
{
    m_giveUp.stop();
    m_phase = Phase::Ended;
    for (Print &print : m_prints) {
        if (!print.told)
            tell(print, PrintState::Waiting,
                 print.mark.isEmpty()
                     ? QStringLiteral("not printed, as it could not be kept on disk: print it "
                                      "by hand with %1")
                           .arg(byHand(print.name))
                     : QStringLiteral("print waits for the next start"));
    }
    changed();
}

void PrintSpool::changed()
{
    if (onChange)
        onChange();
}

QStringList PrintSpool::unkept() const
{
    QStringList names;
    for (const Print &print : m_prints) {
        if (print.mark.isEmpty())
            names << byHand(print.name);
    }
    return names;
}
