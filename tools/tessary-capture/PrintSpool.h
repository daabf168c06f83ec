#pragma once

#include "PrintMarks.h"
#include "PrintPages.h"
#include "PrintWorker.h"
#include "QueueState.h"
#include "RetryClock.h"
#include "Say.h"

#include <QPageSize>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

// Where one print stands. Waiting: for its turn, or for the queue or the
// server to take prints again. Sending: its pages are being made, or the
// printer is being asked. Sent: CUPS has it. Set aside: CUPS will never
// take it as it is, or it was given up; it holds back nothing.
enum class PrintState { Waiting, Sending, Sent, SetAside };

// What the spool tells of one print (by its text's base name), or of
// printing as a whole (no name).
struct PrintNews {
    QString name;
    PrintState state = PrintState::Waiting;
    QString text;
    Priority priority = Priority::Notice;
    // A mark that cannot be written or removed: for the service's status too.
    bool trouble = false;
    // Set aside as its mark was removed by hand.
    bool givenUp = false;
};

// Sees each saved job's print through, from its mark on disk to CUPS's job
// number, one at a time in the order the jobs came, and tells what became
// of it: "printed on Q as job N"; "print waits: Q: reason" while the queue
// or the server takes none (tried again when a job ends, and on a timer
// that backs off from 3 s to a minute); "print set aside" when CUPS will
// never take it (too large, a format it cannot print). A send whose answer
// never came, or one a crash may have cut, is sent again only once CUPS
// has said that it does not have it. Prints kept in DIR are for the
// capture that owns the folder, whatever printer an earlier run named.
class PrintSpool {
public:
    struct Settings {
        QString dir;
        QString printer; // as given; empty for the default printer
        std::optional<QPageSize> paper; // asked for; otherwise the queue's
        CharacterSet charset = CharacterSet::Pc1600; // what the pages draw bytes as
    };
    PrintSpool(PrintService &printer, Settings settings,
               std::unique_ptr<RetryClock> clock = std::make_unique<TimerClock>());
    PrintSpool(const PrintSpool &) = delete;
    PrintSpool &operator=(const PrintSpool &) = delete;

    std::function<void(const PrintNews &)> onNews;
    // The paper is settled, a print was taken or starts to wait, or the
    // spool has finished.
    std::function<void()> onChange;

    // What notes a job's print on disk before its text takes its name.
    TextIntent &intent() { return m_marks; }
    // The prints earlier runs left, before anything else.
    void load();
    // Looks the queue up, then prints what waits.
    void start();
    // A job's text (and its PDF, when asked for) is saved, and its print is
    // due; `mark` keeps it on disk, or is empty when that could not be done.
    void add(const QString &name, const QString &mark);
    // The capture ends: prints go on for `ms` at most; then what is under
    // way gives up, and the rest waits for the next start.
    void finish(int ms);
    bool finished() const { return m_phase == Phase::Ended; }
    // The capture ends at once: what is under way is not waited for, and
    // each print not told yet is told what becomes of it.
    void endNow();

    // The paper of the pages once it is settled: as asked for, or the
    // queue's default, or A4 once the queue has no default or cannot be asked.
    std::optional<QPageSize> paper() const { return m_queue.paper(); }
    QString queue() const { return m_queue.name(); }
    // The prints that wait: kept on disk, and those only memory holds (the
    // command that prints each by hand).
    int waiting() const { return int(m_prints.size()); }
    int kept() const { return waiting() - int(unkept().size()); }
    QStringList unkept() const;
    // How to print a job by hand: lp, with its PDF or tessary-print's.
    QString byHand(const QString &name) const { return m_pages.byHand(name, m_settings.printer); }

private:
    struct Print {
        QString name;
        QString mark;
        PrintState state = PrintState::Waiting;
        bool askFirst = false; // sent, or maybe sent: CUPS is asked before it is sent again
        bool told = false; // its job line has its news
    };

    void tryNext();
    bool underWay() const;
    Print *first(PrintState state);
    void pagesReady(const QString &name, const QByteArray &pdf, const QString &error);
    void answered(const PrintResult &result);
    void found(const PrintResult &result);
    void listed(const PrintResult &result);
    void sent(Print &print, const PrintReceipt &receipt);
    void waitFor(const QString &line);
    void settle(const QString &name, PrintState state, const QString &text, bool givenUp = false);
    void tell(Print &print, PrintState state, const QString &text, bool givenUp = false);
    // News of no one print: of the queue, or a mark's `trouble`.
    void say(const QString &text, Priority priority = Priority::Notice, bool trouble = false);
    void sweep();
    void endIfIdle();
    void changed();

    Settings m_settings;
    PrintMarks m_marks;
    PrintWorker m_worker;
    PrintPages m_pages;
    QueueState m_queue;
    std::unique_ptr<RetryClock> m_retry;
    std::deque<Print> m_prints;
    // Finishing: the capture ends, and prints go on for a few seconds;
    // past the deadline, nothing more is tried.
    enum class Phase { Running, Finishing, PastDeadline, Ended };
    Phase m_phase = Phase::Running;
    QTimer m_giveUp;
};
