#pragma once

#include <QByteArray>
#include <QPageSize>
#include <QString>
#include <QVector>

#include <optional>

// What the printer answered to one request.
struct PrintReceipt {
    // Accepted: it has the job. Refused: it will never take this document,
    // whatever is tried (too large, a format it cannot print). Waits: the
    // queue or the server is not there or takes no jobs now, and nothing
    // went. Unknown: the request went, but no answer came back in time, so
    // the printer may have the job.
    enum class Answer { Accepted, Refused, Waits, Unknown };
    Answer answer = Answer::Waits;
    int jobId = 0;
    QString reason; // the real reason when not accepted, the server's own where it gave one
};

// A job the printer has had, finished or not.
struct KnownJob {
    QString title;
    int id = 0;
};

// A printer queue that prints a PDF without a dialog: CupsPrinter, or a
// test's own. Used from one thread at a time; cancel() from any.
class PrintService {
public:
    virtual ~PrintService() = default;

    // Looks the queue up: its name and its default paper. False, with a
    // sentence saying why, when it is not there or cannot be asked.
    virtual bool find(QString &error) = 0;
    // The queue's name once found; until then the name given, or "the
    // default printer".
    virtual QString queue() const = 0;
    virtual std::optional<QPageSize> defaultPaper() const = 0;
    // Sends a PDF as one job named `title`.
    virtual PrintReceipt print(const QString &title, const QByteArray &pdf) = 0;
    // Every job of this user the queue has had, finished ones too: what
    // tells whether a print whose answer was lost was taken. False, with
    // the reason, when the queue cannot be asked.
    virtual bool jobs(QVector<KnownJob> &jobs, QString &error) = 0;
    // The call under way gives up within a second, and so does every later one.
    virtual void cancel() = 0;
};
