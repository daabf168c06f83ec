#include "serial/LineSettings.h"

#include "serial/Serial.h"

namespace {

const QStringList kOffOn = {QStringLiteral("OFF"), QStringLiteral("ON")};

} // namespace

const QVector<LineSettingPopup> &lineSettingPopups()
{
    static const QVector<LineSettingPopup> popups = {
        {LineSetting::Baud,
         "PopupBaud",
         {QStringLiteral("38400"), QStringLiteral("19200"), QStringLiteral("9600"),
          QStringLiteral("4800"), QStringLiteral("2400"), QStringLiteral("1200"),
          QStringLiteral("600"), QStringLiteral("300")},
         2,
         {38400, 19200, 9600, 4800, 2400, 1200, 600, 300}},
        {LineSetting::Bits,
         "PopupBits",
         {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")},
         3,
         {0, 1, 2, 3}},
        {LineSetting::Parity,
         "PopupParity",
         {QStringLiteral("No Parity"), QStringLiteral("Even Parity"), QStringLiteral("Odd Parity")},
         0,
         {0, 1, 2}},
        // There is no value for one and a half stop bits: "1.5" means one.
        {LineSetting::StopBit,
         "PopupStopBit",
         {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")},
         0,
         {1, 1, 2}},
        {LineSetting::DTR, "PopupDTR", kOffOn, 0, {0, 1}},
        {LineSetting::CTS, "PopupCTS", kOffOn, 0, {0, 1}},
        {LineSetting::XON, "PopupXON", kOffOn, 0, {0, 1}},
    };
    return popups;
}

const LineSettingPopup &lineSettingPopup(LineSetting setting)
{
    const QVector<LineSettingPopup> &popups = lineSettingPopups();
    for (const LineSettingPopup &popup : popups) {
        if (popup.setting == setting)
            return popup;
    }
    Q_UNREACHABLE();
    return popups.front();
}

void applyLineSetting(Serial &serial, LineSetting setting, int value)
{
    switch (setting) {
    case LineSetting::Baud:
        serial.setBaud(value);
        break;
    case LineSetting::Bits:
        serial.setBits(value);
        break;
    case LineSetting::Parity:
        serial.setParity(value);
        break;
    case LineSetting::StopBit:
        serial.setStop(value);
        break;
    case LineSetting::DTR:
        serial.setDTR(value != 0);
        break;
    case LineSetting::CTS:
        serial.setCTS(value != 0);
        break;
    case LineSetting::XON:
        serial.setXON(value != 0);
        break;
    }
}
