#include "PrintWorker.h"

#include "PrintMarks.h"

PrintResult PrintWorker::send(PrintOrder order)
{
    PrintResult result;
    result.name = order.name;
    result.receipt = m_printer.print(order.name + QLatin1String(".txt"), order.pdf);
    // Nothing comes between CUPS taking the job and the mark going: a crash
    // then could print it twice.
    if (result.receipt.printed)
        PrintMarks::done(order.mark);
    result.paper = m_printer.defaultPaper();
    return result;
}
