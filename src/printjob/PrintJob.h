#pragma once

#include "toolkit/CharacterSet.h"

#include <QByteArray>

#include <functional>

class PrintService;
class QIODevice;
class QPageSize;
class Yield;

struct PrintOutcome {
    bool cancelled = false; // the print dialog was cancelled: nothing drawn
    bool failed = false; // the printer reported a failure
    int pages = 0; // pages of 62 lines
    int sheets = 0; // sheets of paper drawn
};

// Told the number of 62-line pages printed so far, after each one.
using PageDone = std::function<void(int pages)>;

// Cuts the received text into pages of 62 lines and prints them, its bytes
// drawn in `charset`. Both dialogs are shown once, before anything is drawn.
PrintOutcome PrintReceivedText(const QByteArray &text, PrintService &printing, Yield &yield,
                               const PageDone &pageDone = {},
                               CharacterSet charset = CharacterSet::Pc1600);

// The same pages with no dialog, as a PDF written into `output`.
PrintOutcome PrintTextToPdf(const QByteArray &text, QIODevice *output, const QPageSize &paper,
                            Yield &yield, const PageDone &pageDone = {},
                            CharacterSet charset = CharacterSet::Pc1600);
