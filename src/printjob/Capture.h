#pragma once

#include "printjob/QuietRule.h"

#include <QByteArray>
#include <optional>

class MsgBox;
class BusyIndicator;
class Pause;
class Yield;
class ReceiveBuffer;

struct CaptureServices {
    MsgBox &msgBox;
    BusyIndicator &busy;
    Pause &pause;
    Yield &yield;
};

// Drains the port: reads everything waiting, and again after pausing for the
// rest of the quiet time, until a read comes back empty on a line that has
// been quiet for kDrainPauseMs. Nothing when no port was chosen (anzahl 0,
// after a message) or nothing was waiting.
std::optional<QByteArray> CaptureReceivedText(int anzahl, ReceiveBuffer &port,
                                              CaptureServices &services);
