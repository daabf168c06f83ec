#pragma once

#include "PrintService.h"

#include <atomic>
#include <optional>

// One CUPS queue (CUPS_SERVER and the client configuration choose the
// server), reached with plain IPP requests on a connection of its own, so
// that every wait is bounded: a server that does not answer within a few
// seconds is given up on, never waited for. libcups never asks for a
// password. Used from one thread at a time; cancel() from any.
class CupsPrinter : public PrintService {
public:
    // The queue of that name, or the default printer for an empty name.
    explicit CupsPrinter(const QString &name);

    // The default printer's name for an empty name; the paper is CUPS's
    // media-default.
    bool find(QString &error) override;
    QString queue() const override;
    std::optional<QPageSize> defaultPaper() const override { return m_defaultPaper; }
    // Asks the printer for this paper; otherwise it uses its default.
    void setPaper(const QPageSize &paper);

    // Finds the queue first when it was not found yet.
    PrintReceipt print(const QString &title, const QByteArray &pdf) override;
    // Get-Jobs with which-jobs=all: CUPS keeps finished jobs with their names.
    bool jobs(QVector<KnownJob> &jobs, QString &error) override;
    void cancel() override { m_cancelled = true; }

private:
    friend class CupsConnection;

    QString m_name; // as given
    QString m_found; // the queue's name, once found
    std::optional<QPageSize> m_defaultPaper;
    QByteArray m_media;
    std::atomic<bool> m_cancelled {false};
};
