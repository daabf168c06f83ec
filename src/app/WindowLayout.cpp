#include "app/WindowLayout.h"

#include "app/PopupWheel.h"
#include "app/ProgressWheel.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kCentre = Qt::AlignCenter;
constexpr ControlKind Popup = ControlKind::PopupMenu;
constexpr ControlKind Button = ControlKind::PushButton;
constexpr ControlKind Label = ControlKind::Label;

QWidget *makeWidget(const ControlRow &control, QWidget *parent)
{
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
    case ControlKind::PopupMenu: {
        auto *popup = new QComboBox(parent);
        takeWheelOnlyWithFocus(popup);
        return popup;
    }
    case ControlKind::PushButton: {
        auto *button = new QPushButton(text, parent);
        button->setDefault(control.isDefault);
        return button;
    }
    case ControlKind::HelpButton: {
        auto *button = new QPushButton(parent);
        // The question mark reads as help in every style; some styles draw
        // the dialog help icon as a lifebuoy.
        QIcon icon =
            button->style()->standardIcon(QStyle::SP_TitleBarContextHelpButton, nullptr, button);
        if (icon.isNull())
            icon = button->style()->standardIcon(QStyle::SP_DialogHelpButton, nullptr, button);
        button->setIcon(icon);
        button->setAccessibleName(QStringLiteral("Help"));
        button->setDefault(control.isDefault);
        return button;
    }
    case ControlKind::Label: {
        auto *label = new QLabel(text, parent);
        label->setAlignment(control.alignment);
        label->setTextInteractionFlags(Qt::NoTextInteraction);
        label->setAutoFillBackground(true);
        return label;
    }
    case ControlKind::ProgressWheel:
        return new ProgressWheel(parent);
    }
    return nullptr;
}

} // namespace

const WindowTable &window1Table()
{
    static const WindowTable window = {"Tessary-1.0", QSize(602, 209), QSize(64, 64),
                                       QSize(32000, 32000)};
    return window;
}

const QVector<ControlRow> &window1Controls()
{
    // name, kind, left/top/width/height, tab index, text, bold, points, alignment, visible, default
    static const QVector<ControlRow> controls = {
        {"SerAuswahl", Popup, QRect(28, 96, 195, 20), 1, "", false, 0, kLeft, true, false},
        {"PushButton1", Button, QRect(28, 161, 87, 20), 3, "Print", false, 0, kCentre, true, true},
        {"PushButton2", Button, QRect(127, 161, 93, 20), 7, "Ende", false, 0, kCentre, true, false},
        {"Label1", Label, QRect(28, 66, 179, 20), 8, "Seriellen Port wählen", true, 0, kLeft, true,
         false},
        {"Label2", Label, QRect(28, 128, 100, 20), 9, "Druck Start", true, 0, kLeft, true, false},
        {"Label3", Label, QRect(28, 15, 179, 20), 10, "PC-1600 Tessary", true, 15, kLeft, true,
         false},
        {"PopupBaud", Popup, QRect(317, 65, 105, 20), 11, "", false, 0, kLeft, true, false},
        {"Label4", Label, QRect(243, 65, 62, 20), 12, "Baud", true, 0, kCentre, true, false},
        {"PopupBits", Popup, QRect(317, 96, 105, 20), 13, "", false, 0, kLeft, true, false},
        {"Label5", Label, QRect(243, 97, 62, 20), 14, "Bits", true, 0, kCentre, true, false},
        {"PopupParity", Popup, QRect(317, 127, 105, 19), 15, "", false, 0, kLeft, true, false},
        {"Label6", Label, QRect(235, 128, 70, 20), 16, "Parity", true, 0, kCentre, true, false},
        {"PopupStopBit", Popup, QRect(317, 160, 105, 20), 17, "", false, 0, kLeft, true, false},
        {"Label7", Label, QRect(243, 160, 62, 20), 18, "Stop Bit", true, 0, kCentre, true, false},
        {"PopupDTR", Popup, QRect(494, 65, 69, 20), 19, "", false, 0, kLeft, true, false},
        {"Label8", Label, QRect(451, 66, 31, 20), 20, "DTR", true, 0, kCentre, true, false},
        {"PopupCTS", Popup, QRect(494, 96, 69, 20), 21, "", false, 0, kLeft, true, false},
        {"Label9", Label, QRect(443, 96, 39, 20), 22, "CTS", true, 0, kCentre, true, false},
        {"PopupXON", Popup, QRect(494, 128, 69, 20), 23, "", false, 0, kLeft, true, false},
        {"Label10", Label, QRect(443, 128, 39, 20), 24, "XON", true, 0, kCentre, true, false},
        {"HilfeButton", ControlKind::HelpButton, QRect(219, 15, 42, 23), 25, "", false, 0, kCentre,
         true, true},
        {"ProgressWheel1", ControlKind::ProgressWheel, QRect(512, 15, 32, 32), 26, "", false, 0,
         kCentre, false, false},
    };
    return controls;
}

// A system font wider than the one the window was designed with would cut a
// caption off at its fixed width; narrower letters keep it whole without
// moving or resizing anything.
static void narrowToFit(QWidget *label, const QString &text)
{
    QFont font = label->font();
    const int needed = QFontMetrics(font).horizontalAdvance(text);
    const int room = label->contentsRect().width();
    if (needed <= room || needed <= 0)
        return;
    font.setStretch(std::max(50, 100 * room / needed));
    label->setFont(font);
}

QWidget *createControl(const ControlRow &control, QWidget *parent)
{
    QWidget *widget = makeWidget(control, parent);
    widget->setObjectName(QString::fromLatin1(control.name));
    widget->setGeometry(control.geometry);
    QFont font = widget->font();
    font.setBold(control.bold);
    if (control.pointSize > 0)
        font.setPointSize(control.pointSize);
    widget->setFont(font);
    if (control.kind == ControlKind::Label)
        narrowToFit(widget, QString::fromUtf8(control.text));
    widget->setVisible(control.visible);
    return widget;
}
