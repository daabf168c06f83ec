#pragma once

#include <QString>
#include <QVector>

#include <functional>

// One serial port of the machine: the name shown in the port list, the path
// the connection opens, and what the system tells about the device.
struct PortDescriptor {
    PortDescriptor() = default;
    PortDescriptor(QString name, QString location, QString description = {},
                   QString manufacturer = {}, QString serialNumber = {}, QString byIdLink = {})
        : name(std::move(name)),
          location(std::move(location)),
          description(std::move(description)),
          manufacturer(std::move(manufacturer)),
          serialNumber(std::move(serialNumber)),
          byIdLink(std::move(byIdLink))
    { }

    QString name;
    QString location;
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString byIdLink; // its /dev/serial/by-id path, when it has one
    bool offered = false; // by a program of this user (a simulator), not the machine's

    // The device the connection opens: the location, or the name alone.
    QString path() const { return location.isEmpty() ? name : location; }

    bool operator==(const PortDescriptor &other) const
    {
        return name == other.name && location == other.location &&
            description == other.description && manufacturer == other.manufacturer &&
            serialNumber == other.serialNumber && byIdLink == other.byIdLink &&
            offered == other.offered;
    }
};

// The machine's serial ports, in the order the list shows them.
class PortEnumerator {
public:
    virtual ~PortEnumerator() = default;
    virtual QVector<PortDescriptor> ports() const = 0;
};

// The ports the system reports, in natural order (ttyS2 before ttyS10),
// then the ports this user's programs offer (OfferedPorts.h).
class SystemPortEnumerator : public PortEnumerator {
public:
    using Source = std::function<QVector<PortDescriptor>()>;
    // The system's lists by default; tests hand in their own.
    explicit SystemPortEnumerator(Source machine = {}, Source offered = {});
    QVector<PortDescriptor> ports() const override;

private:
    Source m_machine;
    Source m_offered;
};

// The ports the system reports, in its own order.
QVector<PortDescriptor> machinePorts();

// Natural order of port names: runs of digits compare by value.
bool naturalLess(const QString &a, const QString &b);

// The order of the list: the machine's ports, then the offered ones, each
// in natural order of their names.
bool listedBefore(const PortDescriptor &a, const PortDescriptor &b);

// The path in byIdDir that links to the device at location; empty when none.
QString byIdLinkFor(const QString &location,
                    const QString &byIdDir = QStringLiteral("/dev/serial/by-id"));
