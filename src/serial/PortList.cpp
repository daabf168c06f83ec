#include "serial/PortList.h"

#include "serial/OfferedPorts.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

QVector<PortDescriptor> machinePorts()
{
    QVector<PortDescriptor> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        ports.append({info.portName(), info.systemLocation(), info.description(),
                      info.manufacturer(), info.serialNumber(),
                      byIdLinkFor(info.systemLocation())});
    }
    return ports;
}

SystemPortEnumerator::SystemPortEnumerator(Source machine, Source offered)
    : m_machine(machine ? std::move(machine) : Source(machinePorts)),
      m_offered(offered ? std::move(offered) : Source([] { return offeredPorts(); }))
{ }

QVector<PortDescriptor> SystemPortEnumerator::ports() const
{
    QVector<PortDescriptor> ports = m_machine() + m_offered();
    std::stable_sort(ports.begin(), ports.end(), listedBefore);
    return ports;
}

bool listedBefore(const PortDescriptor &a, const PortDescriptor &b)
{
    if (a.offered != b.offered)
        return b.offered;
    return naturalLess(a.name, b.name);
}

QString byIdLinkFor(const QString &location, const QString &byIdDir)
{
    const QString device = QFileInfo(location).canonicalFilePath();
    if (device.isEmpty())
        return {};
    const QDir dir(byIdDir);
    for (const QString &link : dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        const QString path = dir.filePath(link);
        if (QFileInfo(path).canonicalFilePath() == device)
            return path;
    }
    return {};
}

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

qsizetype digitRunEnd(const QString &s, qsizetype from)
{
    while (from < s.size() && isDigit(s.at(from)))
        ++from;
    return from;
}

// -1, 0 or 1 for two runs of digits, by value; leading zeros do not count.
int compareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == QLatin1Char('0'))
        a = a.mid(1);
    while (b.size() > 1 && b.front() == QLatin1Char('0'))
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a.at(i)) && isDigit(b.at(j))) {
            const qsizetype endA = digitRunEnd(a, i);
            const qsizetype endB = digitRunEnd(b, j);
            const int c =
                compareNumbers(QStringView(a).mid(i, endA - i), QStringView(b).mid(j, endB - j));
            if (c != 0)
                return c < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (a.at(i) != b.at(j))
            return a.at(i) < b.at(j);
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i == a.size();
    // Equal by value ("ttyS02" and "ttyS2"): plain text decides.
    return a < b;
}
