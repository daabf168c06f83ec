#pragma once

#include "serial/PortList.h"

#include <QString>
#include <QVector>

// Ports that programs of this user offer while they run (pc1600-sim's
// pseudo-terminal): each a link to its terminal in this folder, named
// "LABEL.TAG", with the lock file "LABEL.TAG.lock" beside it that the
// program holds locked. Listed as "LABEL (/dev/pts/N)".

// $XDG_RUNTIME_DIR/tessary/ports; empty when the user has no runtime folder.
QString offeredPortsFolder();

// The offered ports in the folder. Only a folder of the user's own, closed
// to others, is read, and of its links only those to a pseudo-terminal
// whose lock is held: nobody else can put a row into the list, and the link
// of a program that was killed is not listed. Anything else is passed over
// in silence.
QVector<PortDescriptor> offeredPorts(const QString &folder = offeredPortsFolder());
