#include "app/WhenExposed.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {
class ExposeWatch : public QObject {
public:
    ExposeWatch(QWidget *widget, std::function<void()> call)
        : QObject(widget->windowHandle()), m_widget(widget), m_call(std::move(call))
    {
        parent()->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            // After the expose is handled: a modal box must not open inside it.
            QTimer::singleShot(0, m_widget, m_call);
            deleteLater();
            watched->removeEventFilter(this);
        }
        return false;
    }

private:
    QPointer<QWidget> m_widget;
    std::function<void()> m_call;
};
} // namespace

void callWhenExposed(QWidget *widget, std::function<void()> call)
{
    QWindow *window = widget->windowHandle();
    if (!window || window->isExposed()) {
        QTimer::singleShot(0, widget, std::move(call));
        return;
    }
    new ExposeWatch(widget, std::move(call));
}
