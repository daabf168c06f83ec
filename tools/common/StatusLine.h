#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <cstdio>

// One line on a terminal that keeps being rewritten in place, led by the
// program's name: at most ten times a second, the latest text shown once its
// time comes. Nothing at all without a terminal.
class StatusLine {
public:
    // `terminal` is where the line goes, or null for none.
    explicit StatusLine(std::FILE *terminal);

    bool isOn() const { return m_terminal != nullptr; }
    // `now` shows it at once, however soon after the last.
    void show(const QString &text, bool now = false);
    // Takes the line away, for a message or for good.
    void hide();

private:
    void draw();

    std::FILE *m_terminal = nullptr;
    QString m_text;
    bool m_shown = false;
    QElapsedTimer m_lastShown;
    // Brings the line up to date when showing stops between two refreshes.
    QTimer m_catchUp;
};
