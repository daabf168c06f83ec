#pragma once

#include "serial/LineSettings.h"

#include <QList>

// Line settings as numbers, to compare at once and print on a mismatch:
// baud, Qt's data bits, parity and stop bits, then DTR, CTS and XON as 0 or 1.
inline QList<int> lineFields(const LineSettings &line)
{
    return {line.baud,     int(line.dataBits), int(line.parity), int(line.stopBits),
            int(line.dtr), int(line.cts),      int(line.xon)};
}
