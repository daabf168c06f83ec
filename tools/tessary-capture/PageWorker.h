#pragma once

#include "CupsPrinter.h"
#include "JobStore.h"

#include <QObject>
#include <QPageSize>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// What to make of one job's pages.
struct PageOrder {
    Job job;
    QString name; // the base name of its text on disk; empty when it is not
    bool pdfFile = false; // NAME.pdf beside the text
    bool print = false;
    bool again = false; // a PDF that could not be written before
};

struct PageResult {
    PageOrder order;
    int sheets = 0;
    QString drawError; // no pages could be made
    std::optional<PdfReport> pdfFile;
    std::optional<PrintReceipt> printed;
};

// Makes the pages of each job, writes them as a PDF and prints them on a
// thread of its own, one job after another, so that the port is read and
// every arrival stamped meanwhile. Results come back in order on the thread
// that created it, through its event loop.
class PageWorker {
public:
    // The printer may be null when nothing is printed.
    PageWorker(const JobStore &store, const QPageSize &paper, const CupsPrinter *printer);
    ~PageWorker();
    PageWorker(const PageWorker &) = delete;
    PageWorker &operator=(const PageWorker &) = delete;

    void add(PageOrder order);
    // Orders handed in whose results have not come back yet.
    bool busy() const { return m_pending > 0; }

    std::function<void(const PageResult &)> onDone;
    // The last result has come back.
    std::function<void()> onIdle;

private:
    void run();
    PageResult make(PageOrder order) const;

    const JobStore &m_store;
    const QPageSize m_paper;
    const CupsPrinter *m_printer;
    QObject m_home; // receives the results on the creating thread
    int m_pending = 0;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<PageOrder> m_orders;
    bool m_quit = false;
    std::thread m_thread;
};
