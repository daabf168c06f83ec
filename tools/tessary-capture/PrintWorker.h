#pragma once

#include "OrderThread.h"
#include "PrintService.h"

// One request to the printer: look the queue up, send a print (the job's
// text's base name; its title is NAME.txt), or list the jobs it has had.
struct PrintOrder {
    enum class Kind { FindQueue, Send, ListJobs };
    Kind kind = Kind::FindQueue;
    QString name;
    QByteArray pdf;
};

struct PrintResult {
    PrintOrder order; // without its pages
    // For FindQueue and ListJobs, Accepted when it worked, or Waits with why.
    PrintReceipt receipt;
    QVector<KnownJob> jobs;
    QString queue;
    std::optional<QPageSize> paper; // the queue's default, once found
};

// Asks the printer on a thread of its own, so that a slow or silent server
// holds up nothing but the prints.
class PrintWorker {
public:
    explicit PrintWorker(PrintService &printer)
        : m_printer(printer), m_thread([this](PrintOrder order) { return ask(std::move(order)); })
    { }
    ~PrintWorker() { m_printer.cancel(); }
    PrintWorker(const PrintWorker &) = delete;
    PrintWorker &operator=(const PrintWorker &) = delete;

    void add(PrintOrder order) { m_thread.add(std::move(order)); }
    bool busy() const { return m_thread.busy(); }
    // The request under way gives up within a second, and so does any later.
    void cancel() { m_printer.cancel(); }
    void setHandler(std::function<void(const PrintResult &)> done)
    {
        m_thread.onDone = std::move(done);
    }

private:
    PrintResult ask(PrintOrder order);

    PrintService &m_printer;
    OrderThread<PrintOrder, PrintResult> m_thread;
};
