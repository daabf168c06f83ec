#pragma once

#include <QString>
#include <QVector>

// One serial port of the machine: the name shown in the port list and the
// path the connection opens.
struct PortDescriptor {
    QString name;
    QString location;
};

// The machine's serial ports, in the order the list shows them.
class PortEnumerator {
public:
    virtual ~PortEnumerator() = default;
    virtual QVector<PortDescriptor> ports() const = 0;
};

// The ports the system reports, in natural order (ttyS2 before ttyS10).
class SystemPortEnumerator : public PortEnumerator {
public:
    QVector<PortDescriptor> ports() const override;
};

// Natural order of port names: runs of digits compare by value.
bool naturalLess(const QString &a, const QString &b);
