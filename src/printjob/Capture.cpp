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

    QByteArray text;
    text.reserve(total);
    for (const QByteArray &chunk : std::as_const(chunks)) {
        text += chunk;
        services.yield.yield();
    }

    services.busy.setBusy(false);
    return text;
}
