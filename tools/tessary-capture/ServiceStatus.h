#pragma once

#include <QString>

class PrintSpool;

// What the capture is doing, for systemd (`systemctl status`): ready with
// its first status, whether the port is open or waited for, then a status
// line that changes with the port and the prints that wait, says when
// prints cannot be kept on disk, and at last how it ended; nothing at all
// when not run by systemd.
class ServiceStatus {
public:
    // `port` as the user gave it.
    explicit ServiceStatus(const QString &port) : m_port(port) { }

    void show(bool portOpen, int printsWaiting, const QString &queue, const QString &trouble = {});
    void stopping();
    // The last word: `exitStatus` as Outcome gives it, and the prints that
    // wait for the next start, if any are made.
    void ended(int exitStatus, const PrintSpool *prints);

private:
    QString m_port;
    QString m_text;
    bool m_ready = false;
};
