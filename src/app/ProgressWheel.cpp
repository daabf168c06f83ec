#include "app/ProgressWheel.h"

#include <QPainter>
#include <QtMath>

namespace {
constexpr int kSpokes = 12;
constexpr int kStepMs = 80;
} // namespace

ProgressWheel::ProgressWheel(QWidget *parent) : QWidget(parent)
{
    m_timer.setInterval(kStepMs);
    connect(&m_timer, &QTimer::timeout, this, &ProgressWheel::advance);
}

void ProgressWheel::setBusy(bool busy)
{
    setVisible(busy);
}

void ProgressWheel::advance()
{
    m_step = (m_step + 1) % kSpokes;
    update();
}

void ProgressWheel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_timer.start();
}

void ProgressWheel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}

void ProgressWheel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    painter.scale(side / 32.0, side / 32.0);

    QColor colour = palette().color(QPalette::WindowText);
    QPen pen(colour, 3.0, Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at m_step is darkest; the ones behind it fade out.
        const int age = (m_step - i + kSpokes) % kSpokes;
        colour.setAlphaF(1.0 - 0.8 * age / kSpokes);
        pen.setColor(colour);
        painter.setPen(pen);
        painter.save();
        painter.rotate(i * 360.0 / kSpokes);
        painter.drawLine(QPointF(0, -7), QPointF(0, -13));
        painter.restore();
    }
}
