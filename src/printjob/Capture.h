#pragma once

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

constexpr int kDrainPauseMs = 500;

// Drains the port: reads everything waiting, pauses, reads again until a
// read comes back empty. Nothing when no port was chosen (anzahl 0, after a
// message) or nothing was waiting.
std::optional<QByteArray> CaptureReceivedText(int anzahl, ReceiveBuffer &port,
                                              CaptureServices &services);
