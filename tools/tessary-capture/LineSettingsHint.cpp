#include "LineSettingsHint.h"

namespace {

// Measured on a model of two UARTs that disagree (tests/support/UartModel),
// sending generated listings and a German one with LLIST's pauses between
// lines, the bad frames coming as NUL, as sampled or not at all. At matching
// settings the share is 0, or 3.2% for the German listing's umlauts. A
// wrong speed (twice or four times either way) gives 55% to 100%; 7 data
// bits with parity read as 8N1, 37% to 63%; 8N1 read with parity, 30% to
// 97%. 15% is about five times the umlauts and half the least garbage.
constexpr double kTellingShare = 0.15;

// A spike when the cable is plugged in or the pocket computer is switched
// on leaves a byte or three, often NUL or 0xFF; telling the user then would
// send them to change settings that are right. Three lines of listing read
// four times too slowly leave 16 bytes or more; read too fast, one line does.
constexpr qsizetype kShortestTold = 16;

bool inNoListing(unsigned char byte)
{
    if (byte >= 127)
        return true; // DEL, and umlauts or garbage: the share decides
    return byte < 32 && byte != '\r' && byte != '\n' && byte != '\t' && byte != '\f';
}

} // namespace

double oddByteShare(QByteArrayView job)
{
    if (job.isEmpty())
        return 0;
    qsizetype odd = 0;
    for (const char c : job)
        odd += inNoListing(static_cast<unsigned char>(c));
    return double(odd) / double(job.size());
}

bool looksLikeWrongLineSettings(QByteArrayView job)
{
    return job.size() >= kShortestTold && oddByteShare(job) >= kTellingShare;
}

QString wrongLineSettingsHint()
{
    return QStringLiteral("it looks like wrong line settings: compare --baud, --bits and --parity "
                          "with the pocket computer's 10 SETCOM 'COM1:',9600,8,N,1 (the set-up "
                          "help shows it)");
}
