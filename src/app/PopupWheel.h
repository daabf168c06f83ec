#pragma once

class QComboBox;

// A popup takes focus on a click or Tab, and a wheel turned over it changes
// it only while it has that focus: a notch in passing would otherwise close
// the port or open another one.
void takeWheelOnlyWithFocus(QComboBox *popup);
