#pragma once

#include "printjob/Capture.h"
#include "printjob/PrintJob.h"

#include <QByteArray>

class PrintService;

// One press of Print after another: drain the port, then print. The text of
// a job whose printer failed is kept and printed ahead of what the next press
// drains, so nothing received is lost; a cancelled print dialog ends the job
// and its text with it.
class PrintButton {
public:
    PrintOutcome press(int anzahl, ReceiveBuffer &port, CaptureServices &capture,
                       PrintService &printing, const QString &language);

    // Received under other line settings or from another port: not worth
    // printing any more.
    void forgetUnprinted() { m_unprinted.clear(); }
    const QByteArray &unprinted() const { return m_unprinted; }

private:
    QByteArray m_unprinted;
};
