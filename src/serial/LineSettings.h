#pragma once

#include <QStringList>
#include <QVector>

class Serial;

enum class LineSetting { Baud, Bits, Parity, StopBit, DTR, CTS, XON };

// One line-setting popup: its items, its default item and the value each
// item writes. On/off settings use 0 and 1.
struct LineSettingPopup {
    LineSetting setting;
    const char *popupName; // e.g. "PopupBaud"
    QStringList items;
    int defaultIndex;
    QVector<int> values; // values[i] belongs to items[i]
};

// The seven popups in window order.
const QVector<LineSettingPopup> &lineSettingPopups();
const LineSettingPopup &lineSettingPopup(LineSetting setting);

// Applies a stored value to the connection's matching setting.
void applyLineSetting(Serial &serial, LineSetting setting, int value);
