#pragma once

#include <QByteArray>
#include <QPageSize>
#include <QString>

#include <atomic>
#include <optional>

// What became of one print.
struct PrintReceipt {
    bool printed = false;
    int jobId = 0;
    QString error; // the real reason when not printed, CUPS's own where it gave one
    QString queue; // where it went, or was to go
};

// One CUPS queue (CUPS_SERVER and the client configuration choose the
// server), reached with plain IPP requests on a connection of its own, so
// that every wait is bounded: a server that does not answer within a few
// seconds is given up on, never waited for. libcups never asks for a
// password. Used from one thread at a time; cancel() from any.
class CupsPrinter {
public:
    // The queue of that name, or the default printer for an empty name.
    explicit CupsPrinter(const QString &name);

    // Asks the server for the queue: its name (the default printer's, for
    // an empty name) and its default paper. False, with a sentence saying
    // why, when it is not there or the server cannot be asked.
    bool find(QString &error);
    // The queue's name once found; until then the name given, or "the
    // default printer".
    QString queue() const;
    // The queue's default paper (media-default), once found.
    std::optional<QPageSize> defaultPaper() const { return m_defaultPaper; }
    // Asks the printer for this paper; otherwise it uses its default.
    void setPaper(const QPageSize &paper);

    // Sends a PDF as one job, named `title`, finding the queue first when
    // it was not found yet. Printed only once CUPS has accepted the job.
    PrintReceipt print(const QString &title, const QByteArray &pdf);
    // The call under way gives up within a second, and so does every later
    // one.
    void cancel() { m_cancelled = true; }

private:
    friend class CupsConnection;

    QString m_name; // as given
    QString m_found; // the queue's name, once found
    std::optional<QPageSize> m_defaultPaper;
    QByteArray m_media;
    std::atomic<bool> m_cancelled {false};
};
