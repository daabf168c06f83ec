#include "PageWorker.h"

#include "MissingFont.h"

#include "printjob/PrintJob.h"
#include "toolkit/Waiting.h"

#include <QBuffer>

PageResult PageWorker::make(PageOrder order) const
{
    PageResult result;
    result.order = std::move(order);
    const PageOrder &made = result.order;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    NoYield noTurns;
    const PrintOutcome outcome =
        PrintTextToPdf(made.job.bytes, &buffer, made.paper, noTurns, {}, m_charset);
    if (outcome.failed) {
        result.drawError = missingFontReason();
        return result;
    }
    result.sheets = outcome.sheets;
    if (made.pdfFile)
        result.pdfFile = m_store.writePdf(made.name, buffer.data());
    if (made.forPrint)
        result.pdf = buffer.data();
    return result;
}
