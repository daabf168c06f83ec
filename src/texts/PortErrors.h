#pragma once

#include <QString>

// The English sentence that explains a serial-port error number (Qt's
// QSerialPort::SerialPortError), as README's table of open failures gives it.
QString portErrorSentence(int errorCode);
