#pragma once

#include "JobStore.h"

#include <QPageSize>
#include <QTimer>

#include <functional>
#include <optional>

class Outcome;
class PrintWorker;
struct PrintResult;

// Sends the prints that wait to CUPS one at a time, in the order their jobs
// came, and tries again while CUPS does not take them: when a job ends, and
// on a timer that starts at a few seconds and backs off to about a minute.
// One line says when printing starts to wait, one when it works again.
class PrintFeeder {
public:
    PrintFeeder(JobStore &store, PrintWorker &worker, Outcome &outcome, const QString &queue);
    PrintFeeder(const PrintFeeder &) = delete;
    PrintFeeder &operator=(const PrintFeeder &) = delete;

    // The pages of this print must be made and handed to pagesMade().
    std::function<void(const Waiting &print)> needPages;
    // Nothing is under way any more.
    std::function<void()> onIdle;
    // A print was taken, or starts to wait.
    std::function<void()> onChange;

    // Looks the queue up, while the capture goes on: whatever is wrong
    // with it is told, and prints wait.
    void lookUp();
    bool waiting() const { return !m_reason.isEmpty(); }
    // "print waits: QUEUE: reason"
    QString waitNote() const;
    QString queue() const { return m_queue; }
    std::optional<QPageSize> paper() const { return m_paper; }
    bool busy() const { return m_lookingUp || !m_sending.isEmpty() || !m_pagesFor.isEmpty(); }

    // Whether this job's print goes next, its pages now being made for it
    // along with the job's own; then they are expected through pagesMade().
    bool takesPagesOf(const QString &name);
    void tryNow();
    void pagesMade(const QString &name, const QByteArray &pdf, const QString &error);
    void done(const PrintResult &result);
    // The capture ends: prints go on while CUPS takes them, for `ms` at
    // most; then what is under way gives up, and the rest waits for the
    // next start. No try after a refusal.
    void finish(int ms);

private:
    void send(Waiting &print);
    void lookedUp(const PrintResult &result);
    void startWaiting(const QString &reason);
    void tryLater();
    void idle();

    JobStore &m_store;
    PrintWorker &m_worker;
    Outcome &m_outcome;
    QString m_queue;
    std::optional<QPageSize> m_paper;
    QString m_reason; // why prints wait; empty while CUPS takes them
    bool m_tookAny = false;
    bool m_lookingUp = false;
    QString m_sending;
    QString m_pagesFor;
    QTimer m_retry;
    int m_retryMs;
    bool m_finishing = false;
    bool m_pastDeadline = false;
    QTimer m_giveUp;
};
