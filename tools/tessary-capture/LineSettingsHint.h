#pragma once

#include <QByteArrayView>
#include <QString>

// Garbage from a line whose speed, word length or parity differs between
// the pocket computer and the PC: nothing else says why a job is unreadable.
// Bytes above 127 are no sign of it: they are the letters, Greek, signs and
// graphics of the PC-1600's own set.

struct LineSettingsSigns {
    // The share, from 0 to 1, of control codes no listing holds: NUL (what
    // a framing error reads as) and the others but CR, LF, TAB and FF, and
    // DEL.
    double controlShare = 0;
    // The share of bytes with an even number of bits set. A listing's bytes
    // come about half and half; 7 data bits with parity read as 8 make all
    // of them even (or all odd), the parity bit becoming bit 7.
    double evenShare = 0;
    // The share of bytes above 127.
    double highShare = 0;
};

LineSettingsSigns lineSettingsSigns(QByteArrayView job);

// Whether the job looks like what a receiver at the wrong line settings
// makes of a listing: many control codes, or bytes above 127 that all come
// with the one parity. Nor a job of a few bytes is enough.
bool looksLikeWrongLineSettings(QByteArrayView job);

// The words that the job line adds when the rule above holds.
QString wrongLineSettingsHint();
