#include "PrintWorker.h"

PrintResult PrintWorker::ask(PrintOrder order)
{
    PrintResult result;
    QString error;
    switch (order.kind) {
    case PrintOrder::Kind::FindQueue:
        result.receipt.answer =
            m_printer.find(error) ? PrintReceipt::Answer::Accepted : PrintReceipt::Answer::Waits;
        break;
    case PrintOrder::Kind::Send:
        result.receipt = m_printer.print(order.name + QLatin1String(".txt"), order.pdf);
        break;
    case PrintOrder::Kind::ListJobs:
        result.receipt.answer = m_printer.jobs(result.jobs, error) ? PrintReceipt::Answer::Accepted
                                                                   : PrintReceipt::Answer::Waits;
        break;
    }
    if (!error.isEmpty())
        result.receipt.reason = error;
    order.pdf.clear();
    result.order = std::move(order);
    result.queue = m_printer.queue();
    result.paper = m_printer.defaultPaper();
    return result;
}
