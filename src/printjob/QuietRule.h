#pragma once

#include <QtGlobal>

// How long the line must have been quiet, since its last byte arrived, for
// the window's print job to end.
constexpr int kDrainPauseMs = 500;

// The one rule that ends a job, for the window's drain and the unattended
// capture alike: a job ends once its line has been quiet for `quietMs`,
// counted from the last byte's arrival, not from when it was read. Gives how
// much longer the line must stay quiet; 0 when it has been quiet long enough
// or nothing ever arrived (msSinceLastArrival < 0).
inline int quietTimeLeft(qint64 msSinceLastArrival, int quietMs)
{
    if (msSinceLastArrival < 0 || msSinceLastArrival >= quietMs)
        return 0;
    return int(quietMs - msSinceLastArrival);
}
