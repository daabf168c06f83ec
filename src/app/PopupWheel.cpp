#include "app/PopupWheel.h"

#include <QComboBox>
#include <QEvent>

namespace {

class WheelNeedsFocus : public QObject {
public:
    explicit WheelNeedsFocus(QComboBox *popup) : QObject(popup), m_popup(popup) { }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_popup || event->type() != QEvent::Wheel || m_popup->hasFocus())
            return false;
        // Swallowed: an unfocused popup changes nothing under a passing wheel.
        event->ignore();
        return true;
    }

private:
    QComboBox *m_popup;
};

} // namespace

void takeWheelOnlyWithFocus(QComboBox *popup)
{
    popup->setFocusPolicy(Qt::StrongFocus);
    popup->installEventFilter(new WheelNeedsFocus(popup));
}
