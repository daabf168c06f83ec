#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// Two UARTs on one wire, each with its own line settings: what a receiver
// makes of bytes sent at other settings. The line idles at mark (1); a frame
// is a start bit (0), the data bits LSB first, an optional parity bit and
// the stop bits (1).

enum class UartParity { None, Even, Odd };

struct UartFormat {
    int baud = 9600;
    int dataBits = 8; // 5 to 8; a sender drops the higher bits of each byte
    UartParity parity = UartParity::None;
    int stopBits = 1;
};

// The idle time a sender leaves on the line, in seconds: after every byte,
// and after every LF, as LLIST pauses between lines.
struct UartPauses {
    double afterByte = 0;
    double afterLine = 0;
};

// What the receiving tty makes of a frame whose stop bit reads 0 (a
// framing error), or whose parity bit is wrong when the receiver has parity:
// a NUL (raw mode with parity checks on and neither PARMRK nor IGNPAR), the
// data bits as sampled (parity checks off), or nothing (IGNPAR).
enum class UartErrors { Nul, Data, Dropped };

// The level of the line over time: each edge holds from its time to the next
// edge's; mark before the first and after the last.
class LineLevels {
public:
    void append(bool high, double seconds);
    bool at(double time) const;
    // The time of the first change to space (0) at or after `time`, or a
    // negative number when none comes.
    double nextFall(double time) const;

private:
    struct Edge {
        double at;
        bool high;
    };
    std::vector<Edge> m_edges;
    double m_end = 0;
};

LineLevels sendFrames(QByteArrayView text, const UartFormat &format, const UartPauses &pauses = {});
// Samples like a UART: a fall starts a frame, whose start bit must still be
// 0 at its middle; each further bit is read at its middle, and the search
// for the next start goes on from the middle of the (first) stop bit.
QByteArray receiveFrames(const LineLevels &line, const UartFormat &format,
                         UartErrors errors = UartErrors::Nul);
