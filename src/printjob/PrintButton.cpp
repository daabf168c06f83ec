#include "printjob/PrintButton.h"

#include "texts/Catalogue.h"
#include "toolkit/MsgBox.h"

PrintOutcome PrintButton::press(int anzahl, ReceiveBuffer &port, CaptureServices &capture,
                                PrintService &printing, const QString &language)
{
    std::optional<QByteArray> fresh = CaptureReceivedText(anzahl, port, capture);
    if (anzahl == 0 || (!fresh && m_unprinted.isEmpty()))
        return {};

    QByteArray text = std::move(m_unprinted);
    m_unprinted.clear();
    if (fresh)
        text += *fresh;

    const PrintOutcome outcome = PrintReceivedText(text, printing, capture.yield);
    // A cancel is the user's end of the job; only a printer that failed
    // leaves the text to be printed again.
    if (outcome.failed) {
        m_unprinted = std::move(text);
        if (const auto message = lookupText(TextKey::MsgPrintFailed, language))
            capture.msgBox.show(*message);
    }
    return outcome;
}
