#include "PortListing.h"

#include <QStringList>

QString portListingLine(const PortDescriptor &port)
{
    QStringList known;
    if (!port.description.isEmpty())
        known << port.description;
    if (!port.manufacturer.isEmpty())
        known << QStringLiteral("made by %1").arg(port.manufacturer);
    if (!port.serialNumber.isEmpty())
        known << QStringLiteral("serial number %1").arg(port.serialNumber);
    if (!port.byIdLink.isEmpty())
        known << port.byIdLink;
    const QString path = port.path();
    return known.isEmpty() ? path : path + QLatin1String(": ") + known.join(QLatin1String(", "));
}
