#pragma once

#include <QByteArray>
#include <QStringList>

// Text for the tests to send or print.

// "LINE 1" to "LINE count", each followed by lineEnd.
QByteArray numberedLines(int count, const char *lineEnd = "\r\n");
// "LINE from" to "LINE to", as they come out of the printer.
QStringList numberedLineTexts(int from, int to);

// The sample LLIST as it lies on disk: CR LF line ends.
QByteArray sampleFile();
// A short LLIST in the PC-1600's own character set, with umlauts, Greek,
// signs and a box; CR LF line ends.
QByteArray pc1600SetFile();
// Text as the PC-1600 sends it: each character as its byte in the
// PC-1600's set. A character the set lacks ends the test program.
QByteArray inPc1600Set(const QString &text);
// `count` lines made from the sample LLIST's statements, each led by "L"
// and its own number, so order can be checked on paper; CR LF line ends.
QByteArray sampleListing(int count);

// Deterministic BASIC-like lines of 20 to 80 characters with CR LF ends,
// numbered 10, 20, ...
QByteArray basicListing(int lines);
// The same lines, as many as make `bytes` bytes, the last one cut there.
QByteArray basicListingOfSize(qsizetype bytes);

// Every byte value from 0 to 255 once, in order.
QByteArray allByteValues();
