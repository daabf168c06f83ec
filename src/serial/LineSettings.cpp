#include "serial/LineSettings.h"

namespace {

// Each speed stores and sets its own number.
template<qint32 baud> LineSettingItem baudItem()
{
    return {QString::number(baud), baud, setTo<&LineSettings::baud, baud>};
}

template<bool LineSettings::*line> QVector<LineSettingItem> offOn()
{
    return {{QStringLiteral("OFF"), 0, setTo<line, false>},
            {QStringLiteral("ON"), 1, setTo<line, true>}};
}

} // namespace

QStringList LineSettingPopup::texts() const
{
    QStringList texts;
    for (const LineSettingItem &item : items)
        texts << item.text;
    return texts;
}

const QVector<LineSettingPopup> &lineSettingPopups()
{
    using Port = QSerialPort;
    static const QVector<LineSettingPopup> popups = {
        {LineSetting::Baud,
         "PopupBaud",
         {baudItem<38400>(), baudItem<19200>(), baudItem<9600>(), baudItem<4800>(),
          baudItem<2400>(), baudItem<1200>(), baudItem<600>(), baudItem<300>()},
         2},
        {LineSetting::Bits,
         "PopupBits",
         {{QStringLiteral("5"), 0, setTo<&LineSettings::dataBits, Port::Data5>},
          {QStringLiteral("6"), 1, setTo<&LineSettings::dataBits, Port::Data6>},
          {QStringLiteral("7"), 2, setTo<&LineSettings::dataBits, Port::Data7>},
          {QStringLiteral("8"), 3, setTo<&LineSettings::dataBits, Port::Data8>}},
         3},
        {LineSetting::Parity,
         "PopupParity",
         {{QStringLiteral("No Parity"), 0, setTo<&LineSettings::parity, Port::NoParity>},
          {QStringLiteral("Even Parity"), 1, setTo<&LineSettings::parity, Port::EvenParity>},
          {QStringLiteral("Odd Parity"), 2, setTo<&LineSettings::parity, Port::OddParity>}},
         0},
        // Linux has no one and a half stop bits: "1.5" means one.
        {LineSetting::StopBit,
         "PopupStopBit",
         {{QStringLiteral("1"), 1, setTo<&LineSettings::stopBits, Port::OneStop>},
          {QStringLiteral("1.5"), 1, setTo<&LineSettings::stopBits, Port::OneStop>},
          {QStringLiteral("2"), 2, setTo<&LineSettings::stopBits, Port::TwoStop>}},
         0},
        {LineSetting::DTR, "PopupDTR", offOn<&LineSettings::dtr>(), 0},
        {LineSetting::CTS, "PopupCTS", offOn<&LineSettings::cts>(), 0},
        {LineSetting::XON, "PopupXON", offOn<&LineSettings::xon>(), 0},
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
