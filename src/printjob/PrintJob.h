#pragma once

#include <QByteArray>

class PrintService;
class Yield;

struct PrintOutcome {
    bool cancelled = false; // the print dialog was cancelled: nothing drawn
    bool failed = false; // the printer reported a failure
    int pages = 0; // pages of 62 lines
    int sheets = 0; // sheets of paper drawn
};

constexpr int kLinesPerPage = 62;

// Cuts the received text into pages of 62 lines and prints them. Both
// dialogs are shown once, before anything is drawn.
PrintOutcome PrintReceivedText(const QByteArray &text, PrintService &printing, Yield &yield);
