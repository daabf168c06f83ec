#include "support/UartModel.h"

#include <algorithm>

void LineLevels::append(bool high, double seconds)
{
    if (seconds <= 0)
        return;
    if (m_edges.empty() ? !high : m_edges.back().high != high)
        m_edges.push_back({m_end, high});
    m_end += seconds;
}

bool LineLevels::at(double time) const
{
    if (time >= m_end)
        return true;
    const auto after = std::upper_bound(m_edges.begin(), m_edges.end(), time,
                                        [](double t, const Edge &edge) { return t < edge.at; });
    return after == m_edges.begin() || std::prev(after)->high;
}

double LineLevels::nextFall(double time) const
{
    auto edge = std::lower_bound(m_edges.begin(), m_edges.end(), time,
                                 [](const Edge &e, double t) { return e.at < t; });
    for (; edge != m_edges.end(); ++edge) {
        if (!edge->high)
            return edge->at;
    }
    return -1;
}

namespace {

bool parityBit(int value, UartParity parity)
{
    const bool odd = __builtin_popcount(unsigned(value)) % 2 != 0;
    return parity == UartParity::Even ? odd : !odd;
}

} // namespace

LineLevels sendFrames(QByteArrayView text, const UartFormat &format, const UartPauses &pauses)
{
    const double bit = 1.0 / format.baud;
    LineLevels line;
    for (const char c : text) {
        const int value = static_cast<unsigned char>(c) & ((1 << format.dataBits) - 1);
        line.append(false, bit);
        for (int k = 0; k < format.dataBits; ++k)
            line.append((value >> k) & 1, bit);
        if (format.parity != UartParity::None)
            line.append(parityBit(value, format.parity), bit);
        line.append(true, format.stopBits * bit + pauses.afterByte);
        if (c == '\n')
            line.append(true, pauses.afterLine);
    }
    return line;
}

QByteArray receiveFrames(const LineLevels &line, const UartFormat &format, UartErrors errors)
{
    const double bit = 1.0 / format.baud;
    QByteArray received;
    for (double start = line.nextFall(0); start >= 0;) {
        const auto sample = [&](int index) { return line.at(start + (index + 0.5) * bit); };
        if (sample(0)) { // a glitch, not a start bit
            start = line.nextFall(start + 0.5 * bit);
            continue;
        }
        int value = 0;
        int index = 1;
        for (int k = 0; k < format.dataBits; ++k, ++index)
            value |= int(sample(index)) << k;
        bool wrong = false;
        if (format.parity != UartParity::None)
            wrong = sample(index++) != parityBit(value, format.parity);
        wrong = wrong || !sample(index);
        if (!wrong || errors == UartErrors::Data)
            received += char(value);
        else if (errors == UartErrors::Nul)
            received += '\0';
        start = line.nextFall(start + (index + 0.5) * bit);
    }
    return received;
}
