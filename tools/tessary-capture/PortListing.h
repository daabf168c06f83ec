#pragma once

#include "serial/PortList.h"

#include <QString>

// One line of --list-ports: the path, then what the system knows of the
// device (description, manufacturer, serial number, /dev/serial/by-id link).
QString portListingLine(const PortDescriptor &port);
