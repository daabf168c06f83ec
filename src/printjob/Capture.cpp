#include "printjob/Capture.h"

#include "serial/ReceiveBuffer.h"
#include "texts/Catalogue.h"
#include "toolkit/BusyIndicator.h"
#include "toolkit/MsgBox.h"
#include "toolkit/Waiting.h"

#include <QList>

std::optional<QByteArray> CaptureReceivedText(int anzahl, ReceiveBuffer &port,
                                              CaptureServices &services)
{
    if (anzahl == 0) {
        services.msgBox.show(lookupText(TextKey::MsgNoPort, kGerman).value_or(QString()));
        return std::nullopt;
    }
    if (port.bytesAvailable() == 0)
        return std::nullopt;

    services.busy.setBusy(true);

    // No cap on the reads: a long listing at a low baud rate stays one job.
    // The job ends at an empty read on a line that has been quiet for the
    // whole pause, counted from the last byte's arrival: a press long after
    // the sender stopped needs no pause at all, and while it still sends the
    // wait ends 500 ms after its last byte, not up to a pause later.
    QList<QByteArray> chunks;
    qsizetype total = 0;
    for (;;) {
        QByteArray chunk = port.readAll();
        const bool empty = chunk.isEmpty();
        if (!empty) {
            total += chunk.size();
            chunks.append(std::move(chunk));
        }
        const int left = quietTimeLeft(port.msSinceLastArrival(), kDrainPauseMs);
        if (empty && left == 0)
            break;
        if (left > 0)
            services.pause.sleep(left);
    }

    // Everything came in one read when the listing arrived before the
    // press: that chunk becomes the text instead of being copied. Otherwise
    // each chunk is freed as soon as it is joined.
    QByteArray text;
    if (chunks.size() == 1)
        text.swap(chunks.first());
    else
        text.reserve(total);
    for (QByteArray &chunk : chunks) {
        text += chunk;
        chunk = QByteArray();
        services.yield.yield();
    }

    services.busy.setBusy(false);
    return text;
}
