#pragma once

#include "toolkit/BusyIndicator.h"

#include <QTimer>
#include <QWidget>

// A spinning busy indicator: twelve spokes, the bright one moving clockwise
// while the wheel is visible.
class ProgressWheel : public QWidget, public BusyIndicator {
    Q_OBJECT
public:
    explicit ProgressWheel(QWidget *parent = nullptr);

    void setBusy(bool busy) override;
    bool isTurning() const { return m_timer.isActive(); }
    int step() const { return m_step; }

    QSize sizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void advance();

    QTimer m_timer;
    int m_step = 0;
};
