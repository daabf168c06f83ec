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
    QList<QByteArray> chunks;
    qsizetype total = 0;
    for (;;) {
        chunks.append(port.readAll());
        if (chunks.constLast().isEmpty())
            break;
        total += chunks.constLast().size();
        services.pause.sleep(kDrainPauseMs);
    }

    // Everything came in the first read when the listing arrived before the
    // press: that chunk becomes the text instead of being copied. Otherwise
    // each chunk is freed as soon as it is joined.
    QByteArray text;
    if (chunks.size() == 2)
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
