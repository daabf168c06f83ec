#include "serial/LineSettings.h"

namespace {

// Each speed stores and sets its own number.
template<qint32 baud> LineSettingItem baudItem()
{
    return {QString::number(baud), baud, setTo<&LineSettings::baud, baud>};
}

// Items whose field stores their index: the i-th text sets `member` to the
// i-th value.
template<auto member, auto... values>
QVector<LineSettingItem> indexedItems(const QStringList &texts)
{
    const QVector<void (*)(LineSettings &)> applies = {setTo<member, values>...};
    QVector<LineSettingItem> items;
    for (int i = 0; i < texts.size(); ++i)
        items.append({texts[i], i, applies.at(i)});
    return items;
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
    static const QStringList offOn = {QStringLiteral("OFF"), QStringLiteral("ON")};
    static const QVector<LineSettingPopup> popups = {
        {LineSetting::Baud,
         "PopupBaud",
         {baudItem<38400>(), baudItem<19200>(), baudItem<9600>(), baudItem<4800>(),
          baudItem<2400>(), baudItem<1200>(), baudItem<600>(), baudItem<300>()},
         2},
        {LineSetting::Bits, "PopupBits",
         indexedItems<&LineSettings::dataBits, Port::Data5, Port::Data6, Port::Data7, Port::Data8>(
             {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")}),
         3},
        {LineSetting::Parity, "PopupParity",
         indexedItems<&LineSettings::parity, Port::NoParity, Port::EvenParity, Port::OddParity>(
             {QStringLiteral("No Parity"), QStringLiteral("Even Parity"),
              QStringLiteral("Odd Parity")}),
         0},
        // Linux has no one and a half stop bits: "1.5" means one.
        {LineSetting::StopBit,
         "PopupStopBit",
         {{QStringLiteral("1"), 1, setTo<&LineSettings::stopBits, Port::OneStop>},
          {QStringLiteral("1.5"), 1, setTo<&LineSettings::stopBits, Port::OneStop>},
          {QStringLiteral("2"), 2, setTo<&LineSettings::stopBits, Port::TwoStop>}},
         0},
        {LineSetting::DTR, "PopupDTR", indexedItems<&LineSettings::dtr, false, true>(offOn), 0},
        {LineSetting::CTS, "PopupCTS", indexedItems<&LineSettings::cts, false, true>(offOn), 0},
        {LineSetting::XON, "PopupXON", indexedItems<&LineSettings::xon, false, true>(offOn), 0},
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
