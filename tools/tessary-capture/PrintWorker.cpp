#include "PrintWorker.h"

#include "PrintMarks.h"

PrintResult PrintWorker::send(PrintOrder order)
{
    PrintResult result;
    result.name = order.name;
    result.lookUp = order.lookUp;
    if (order.lookUp) {
        m_printer.find(result.receipt.error);
    } else {
        result.receipt = m_printer.print(order.name + QLatin1String(".txt"), order.pdf);
        // Nothing comes between CUPS taking the job and the mark going: a
        // crash then could print it twice.
        if (result.receipt.printed)
            PrintMarks::done(order.mark);
    }
    result.receipt.queue = m_printer.queue();
    result.paper = m_printer.defaultPaper();
    return result;
}
