#pragma once

#include "JobStore.h"
#include "OrderThread.h"
#include "toolkit/CharacterSet.h"

#include <QPageSize>

#include <optional>

// What to make of one job's pages.
struct PageOrder {
    Job job;
    QString name; // the base name of its text on disk
    QPageSize paper;
    bool pdfFile = false; // NAME.pdf beside the text
    bool forPrint = false; // the pages kept, to be printed
    bool again = false; // a PDF that could not be written before
    bool tellJob = false; // the job's own line follows its pages
};

struct PageResult {
    PageOrder order;
    int sheets = 0;
    QString drawError; // no pages could be made
    std::optional<PdfReport> pdfFile;
    QByteArray pdf; // for the print
};

// Makes the pages of each job and writes them as a PDF where they are made,
// on a thread of its own, one job after another, so that the port is read
// and every arrival stamped meanwhile.
class PageWorker {
public:
    PageWorker(const JobStore &store, CharacterSet charset)
        : m_store(store),
          m_charset(charset),
          m_thread([this](PageOrder order) { return make(std::move(order)); })
    { }

    void add(PageOrder order) { m_thread.add(std::move(order)); }
    bool busy() const { return m_thread.busy(); }
    // Told each result, and when the last one has come back.
    void setHandlers(std::function<void(const PageResult &)> done, std::function<void()> idle)
    {
        m_thread.onDone = std::move(done);
        m_thread.onIdle = std::move(idle);
    }

private:
    PageResult make(PageOrder order) const;

    const JobStore &m_store;
    const CharacterSet m_charset;
    OrderThread<PageOrder, PageResult> m_thread;
};
