#pragma once

#include <QSerialPort>
#include <QStringList>
#include <QVector>

// How a serial line is set up; a connection hands it to the port when it
// opens. The defaults are those of the window's popups.
struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    bool dtr = false;
    bool cts = false; // RTS/CTS handshake
    bool xon = false; // XON/XOFF handshake
};

// What choosing one value does to the settings: sets `member` to `value`,
// e.g. setTo<&LineSettings::parity, QSerialPort::EvenParity>.
template<auto member, auto value> void setTo(LineSettings &settings)
{
    settings.*member = value;
}

enum class LineSetting { Baud, Bits, Parity, StopBit, DTR, CTS, XON };

// One item of a line-setting popup.
struct LineSettingItem {
    QString text;
    int stored; // what the window's field keeps for it; on/off as 1 and 0
    void (*apply)(LineSettings &); // what choosing it sets on the line
};

// One line-setting popup: its items and its default item.
struct LineSettingPopup {
    LineSetting setting;
    const char *popupName; // e.g. "PopupBaud"
    QVector<LineSettingItem> items;
    int defaultIndex;

    QStringList texts() const;
};

// The seven popups in window order.
const QVector<LineSettingPopup> &lineSettingPopups();
const LineSettingPopup &lineSettingPopup(LineSetting setting);
