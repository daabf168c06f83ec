#pragma once

#include <QString>

// The English sentence that explains a serial-port error number (Qt's
// QSerialPort::SerialPortError), as the table of open failures in
// docs/serial-errors.md gives it.
QString portErrorSentence(int errorCode);

// What to do about it, for a program that keeps trying the port by itself.
QString portErrorRemedy(int errorCode);
