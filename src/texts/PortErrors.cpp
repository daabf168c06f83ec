#include "texts/PortErrors.h"

namespace {

struct PortError {
    int code;
    const char *sentence;
};

// Qt 6's numbering: docs/serial-errors.md lists the same rows in the same words.
constexpr PortError kPortErrors[] = {
    {0, "No error."},
    {1, "The device does not exist (the adapter is unplugged, or the path is wrong)."},
    {2, "No permission to open the device, or another program holds it."},
    {3, "The port is already open in this program."},
    {4, "Writing to the device failed."},
    {5, "Reading from the device failed."},
    {6,
     "The device does not answer (an input/output error, such as a ttyS with no UART "
     "behind it)."},
    {7, "Not a serial device, or it refuses a setting such as the baud rate."},
    {8, "An unknown error."},
    {9, "The device did not answer in time."},
    {10, "The port is not open."},
};

} // namespace

QString portErrorSentence(int errorCode)
{
    for (const PortError &error : kPortErrors) {
        if (error.code == errorCode)
            return QString::fromLatin1(error.sentence);
    }
    return QStringLiteral("An error the serial-port service gives no name.");
}

QString portErrorRemedy(int errorCode)
{
    switch (errorCode) {
    case 1:
        return QStringLiteral("check the path (--list-ports lists the ports)");
    case 2:
        return QStringLiteral("join the dialout group (sudo usermod -aG dialout USER, then log in "
                              "again), or close the other program that holds the port");
    case 7:
        return QStringLiteral("choose another port, or another speed");
    default:
        return QStringLiteral("unplug the adapter and plug it in again");
    }
}
