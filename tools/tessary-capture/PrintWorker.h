#pragma once

#include "CupsPrinter.h"
#include "OrderThread.h"

#include <optional>

// One print to send: the job's text name, what keeps it waiting on disk,
// and its pages.
// Or, instead, the queue to be looked up.
struct PrintOrder {
    QString name;
    QString mark;
    QByteArray pdf;
    bool lookUp = false;
};

struct PrintResult {
    QString name;
    PrintReceipt receipt;
    // The queue's default paper, once the queue has been found.
    std::optional<QPageSize> paper;
    bool lookUp = false;
};

// Sends prints to CUPS on a thread of its own, so that a slow or silent
// server holds up nothing but the prints. A print that CUPS has taken is
// marked done on disk at once, before its result comes back.
class PrintWorker {
public:
    explicit PrintWorker(CupsPrinter &printer)
        : m_printer(printer), m_thread([this](PrintOrder order) { return send(std::move(order)); })
    { }
    ~PrintWorker() { m_printer.cancel(); }

    void add(PrintOrder order) { m_thread.add(std::move(order)); }
    bool busy() const { return m_thread.busy(); }
    // The print under way gives up within a second, and so does any later.
    void cancel() { m_printer.cancel(); }
    void setHandler(std::function<void(const PrintResult &)> done)
    {
        m_thread.onDone = std::move(done);
    }

private:
    PrintResult send(PrintOrder order);

    CupsPrinter &m_printer;
    OrderThread<PrintOrder, PrintResult> m_thread;
};
