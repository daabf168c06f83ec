#include "PageWorker.h"

#include "printjob/PrintJob.h"
#include "toolkit/Waiting.h"

#include <QBuffer>

PageWorker::PageWorker(const JobStore &store, const QPageSize &paper, const CupsPrinter *printer)
    : m_store(store), m_paper(paper), m_printer(printer), m_thread([this] { run(); })
{ }

PageWorker::~PageWorker()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_orders.clear();
    }
    m_wake.notify_one();
    m_thread.join();
}

void PageWorker::add(PageOrder order)
{
    ++m_pending;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_orders.push_back(std::move(order));
    }
    m_wake.notify_one();
}

void PageWorker::run()
{
    for (;;) {
        PageOrder order;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || !m_orders.empty(); });
            if (m_quit)
                return;
            order = std::move(m_orders.front());
            m_orders.pop_front();
        }
        PageResult result = make(std::move(order));
        QMetaObject::invokeMethod(
            &m_home,
            [this, result = std::move(result)] {
                --m_pending;
                if (onDone)
                    onDone(result);
                if (m_pending == 0 && onIdle)
                    onIdle();
            },
            Qt::QueuedConnection);
    }
}

PageResult PageWorker::make(PageOrder order) const
{
    PageResult result;
    result.order = std::move(order);
    const PageOrder &made = result.order;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    NoYield noTurns;
    const PrintOutcome outcome = PrintTextToPdf(made.job.bytes, &buffer, m_paper, noTurns);
    if (outcome.failed) {
        result.drawError = QStringLiteral("no font to draw Helvetica with (install "
                                          "fonts-urw-base35)");
        if (made.print && m_printer)
            result.printed =
                PrintReceipt {false, 0, QStringLiteral("no pages to print"), m_printer->name()};
        return result;
    }
    result.sheets = outcome.sheets;
    if (made.pdfFile)
        result.pdfFile = m_store.writePdf(made.name, buffer.data());
    if (made.print && m_printer) {
        const QString title =
            (made.name.isEmpty() ? JobStore::baseName(made.job.firstByte) : made.name) +
            QLatin1String(".txt");
        result.printed = m_printer->print(title, buffer.data());
    }
    return result;
}
