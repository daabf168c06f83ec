#include "LineSettingsHint.h"

namespace {

// Measured on a model of two UARTs that disagree (tests/support/UartModel),
// sending generated listings, German, Greek and box-drawing ones in the
// PC-1600's set, with LLIST's pauses between lines, the bad frames coming
// as NUL, as sampled or not at all. At matching settings no listing has a
// control code, and 29% to 47% of its bytes are even. A wrong speed gives
// 53% to 78% control codes with bad frames as NUL, 18% with them as data;
// 8N1 read with parity 12% to 63%; random line noise 11%. 5% is half the
// least of them.
constexpr double kTellingControlShare = 0.05;
// 7 bits with parity read as 8N1: all bytes of one parity, and those with
// bit 7 set (the parity bit) a third to two thirds of them.
constexpr double kOneParity = 0.97;
constexpr double kLeastHighShare = 0.05;

// A spike when the cable is plugged in or the pocket computer is switched
// on leaves a byte or three, often NUL or 0xFF; telling the user then would
// send them to change settings that are right. Three lines of listing read
// four times too slowly leave 16 bytes or more; read too fast, one line does.
constexpr qsizetype kShortestTold = 16;

bool inNoListing(unsigned char byte)
{
    return byte == 127 ||
        (byte < 32 && byte != '\r' && byte != '\n' && byte != '\t' && byte != '\f');
}

} // namespace

LineSettingsSigns lineSettingsSigns(QByteArrayView job)
{
    LineSettingsSigns signs;
    if (job.isEmpty())
        return signs;
    qsizetype control = 0;
    qsizetype even = 0;
    qsizetype high = 0;
    for (const char c : job) {
        const auto byte = static_cast<unsigned char>(c);
        control += inNoListing(byte);
        even += __builtin_popcount(byte) % 2 == 0;
        high += byte > 127;
    }
    const auto share = [&](qsizetype count) { return double(count) / double(job.size()); };
    signs.controlShare = share(control);
    signs.evenShare = share(even);
    signs.highShare = share(high);
    return signs;
}

bool looksLikeWrongLineSettings(QByteArrayView job)
{
    if (job.size() < kShortestTold)
        return false;
    const LineSettingsSigns signs = lineSettingsSigns(job);
    const bool oneParity = signs.evenShare >= kOneParity || signs.evenShare <= 1 - kOneParity;
    return signs.controlShare >= kTellingControlShare ||
        (oneParity && signs.highShare >= kLeastHighShare);
}

QString wrongLineSettingsHint()
{
    return QStringLiteral("it looks like wrong line settings: compare --baud, --bits and --parity "
                          "with the pocket computer's 10 SETCOM 'COM1:',9600,8,N,1 (the set-up "
                          "help shows it)");
}
