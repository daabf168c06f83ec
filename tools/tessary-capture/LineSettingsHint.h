#pragma once

#include <QByteArrayView>
#include <QString>

// Garbage from a line whose speed, word length or parity differs between
// the pocket computer and the PC: nothing else says why a job is unreadable.

// The share, from 0 to 1, of bytes that no listing holds: NUL and the other
// control codes but CR, LF, TAB and FF, DEL, and everything above 127.
double oddByteShare(QByteArrayView job);

// Whether the job looks like what a receiver at the wrong line settings
// makes of a listing. Umlauts alone (a few percent of bytes above 127, in
// any code page) are not enough; nor is a job of a few bytes.
bool looksLikeWrongLineSettings(QByteArrayView job);

// The words that the job line adds when the rule above holds.
QString wrongLineSettingsHint();
