#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <atomic>

#include <cups/cups.h>

// One connection to the CUPS server, on which every wait is bounded: a
// server that sends or takes nothing for a few seconds is given up on, and
// so is every wait once `cancelled` is set. libcups would otherwise wait for
// minutes, fall back to connections of its own, or ask for a password on
// the terminal; here it does none of that.
class CupsConnection {
public:
    explicit CupsConnection(const std::atomic<bool> &cancelled);
    ~CupsConnection();
    CupsConnection(const CupsConnection &) = delete;
    CupsConnection &operator=(const CupsConnection &) = delete;

    // False, with the real reason, when the server cannot be reached.
    bool open(QString &error);
    // Sends a request (and frees it) with a document, if any, and reads the
    // answer; null when none came.
    ipp_t *ask(ipp_t *request);
    ipp_t *send(ipp_t *request, const QString &resource, const QByteArray &document);
    // The last request got no answer, or a refusal.
    bool refused() const;
    // It was refused as asking for something that is not there.
    bool notFound() const { return !m_gaveUp && m_status == IPP_STATUS_ERROR_NOT_FOUND; }
    // Why, in the server's or the system's words; never "Success".
    QString reason() const;
    // The last request went but no answer came within the time, or the wait
    // was cancelled.
    bool gaveUp() const { return m_gaveUp; }
    // It was refused for what it asked, not for the state of the queue or
    // the server: too large, or a document it cannot print.
    bool refusedForWhatItIs() const;

private:
    static int stillWaiting(http_t *http, void *self);
    void answered(ipp_t *response);

    const std::atomic<bool> &m_cancelled;
    http_t *m_http = nullptr;
    QString m_server; // as messages name it
    int m_idleSeconds = 0;
    QElapsedTimer m_lastWait;
    bool m_gaveUp = false;
    ipp_status_t m_status = IPP_STATUS_OK;
    http_status_t m_httpStatus = HTTP_STATUS_OK;
    QString m_statusText;
};
