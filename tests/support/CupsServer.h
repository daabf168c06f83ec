#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class QProcess;

// A server that takes connections and never answers, as a hung one.
class SilentServer {
public:
    explicit SilentServer(const QString &socketPath);
    ~SilentServer();
    bool isListening() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// A job as the server reports it.
struct CupsJob {
    int id = 0;
    QString title; // the job's name
    // "pending", "held", "processing", "stopped", "canceled", "aborted" or
    // "completed"
    QString state;
};

// What a server may be asked to do besides the usual.
struct CupsServerSettings {
    // Also listens on 127.0.0.1 at a free port, where a queue that wants a
    // password makes libcups ask for one.
    bool tcp = false;
    // A queue that takes jobs only from a user with a password.
    QString passwordQueue = {};
};

// A CUPS scheduler of the test's own: cupsd in a temporary folder, reached
// only through its own socket, never the machine's CUPS. Its queues print
// through Debian's filters, Ghostscript included, into a PDF file each.
// cupsd must run as root; it stops with this object.
class CupsServer {
public:
    explicit CupsServer(CupsServerSettings settings = {});
    ~CupsServer();
    CupsServer(const CupsServer &) = delete;
    CupsServer &operator=(const CupsServer &) = delete;

    // Returns once the scheduler accepts on its socket and says it runs;
    // false with error() when it does not. Queues and job history outlive
    // a stop, so start after stop brings the same server back.
    bool start();
    // Also mid-test, as a server that went away.
    void stop();
    bool isRunning() const;
    // Why the last call failed, with the tail of the server's error log.
    QString error() const { return m_error; }

    QString socketPath() const;
    // "127.0.0.1:PORT" with settings.tcp.
    QString tcpAddress() const;
    // The system's environment with CUPS_SERVER naming this server and
    // LPDEST and PRINTER taken out: for programs the test starts.
    QProcessEnvironment environment() const;
    // The same for this process: call it before Qt's print support (or
    // libcups) first talks to CUPS, which keeps the server it found.
    void useInThisProcess() const;

    // A queue printing into outputOf(name) with Debian's generic PDF
    // printer driver, routed through Ghostscript, enabled and accepting
    // jobs. Each job overwrites the file.
    // From the next start on, requests longer than this are refused; 0 for
    // no limit.
    void setLimitRequestBody(qint64 bytes) { m_limitRequestBody = bytes; }
    // lpadmin's options for it, say {"-o", "media=iso_a4_210x297mm"}.
    bool addQueue(const QString &name, const QStringList &options = {});
    bool setDefault(const QString &name);
    // The queue refuses new jobs (cupsreject).
    bool reject(const QString &name);
    bool removeQueue(const QString &name);
    QString outputOf(const QString &name) const;

    // Every job the queue has had, oldest first; empty with error() when
    // the server cannot be asked.
    QList<CupsJob> jobs(const QString &queue);
    // Waits until `count` jobs of the queue have ended (completed, aborted,
    // canceled, or stopped with their queue); true when that many completed.
    bool waitForCompleted(const QString &queue, int count, int timeoutMs = 120000);

private:
    bool run(const QString &program, const QStringList &arguments);
    bool failed(const QString &why);
    bool writeConfiguration();
    bool awaitScheduler();

    QTemporaryDir m_dir;
    CupsServerSettings m_settings;
    int m_tcpPort = 0;
    qint64 m_limitRequestBody = 0;
    std::unique_ptr<QProcess> m_cupsd;
    QString m_error;
};
