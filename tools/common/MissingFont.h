#pragma once

#include <QString>

// Why no page could be drawn when the print job finds no font at all.
inline QString missingFontReason()
{
    return QStringLiteral("no font to draw Helvetica with (install fonts-urw-base35)");
}
