#pragma once

#include <QString>

// What the capture is doing, for systemd (`systemctl status`): ready once
// the port is open, then a status line that changes with the port and the
// prints that wait, and says when prints cannot be kept on disk; nothing at
// all when not run by systemd.
class ServiceStatus {
public:
    // `port` as the user gave it.
    explicit ServiceStatus(const QString &port) : m_port(port) { }

    void show(bool portOpen, int printsWaiting, const QString &queue, const QString &trouble = {});
    void stopping();

private:
    QString m_port;
    QString m_text;
    bool m_ready = false;
};
