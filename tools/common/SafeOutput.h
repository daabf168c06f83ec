#pragma once

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <memory>

// Where a program writes its result. A file is written under a temporary
// name beside it and takes the final name only once complete, so a failed
// or interrupted run leaves an existing file exactly as it was. "-" is
// standard output; a device or a pipe is written straight, as there is
// nothing to rename there.
class SafeOutput {
public:
    explicit SafeOutput(const QString &path);
    ~SafeOutput();
    SafeOutput(const SafeOutput &) = delete;
    SafeOutput &operator=(const SafeOutput &) = delete;

    bool open();
    QIODevice *device();
    // Puts the complete output in place. False when anything written failed.
    bool commit();
    // Drops what was written; an earlier file stays as it was.
    void discard();
    // The system's reason for the last failure.
    QString errorString() const;

    // From now on SIGINT, SIGTERM and SIGHUP remove the temporary file of
    // the output being written, then end the program as the signal would.
    static void removeTemporaryOnSignal();

private:
    QString m_path;
    std::unique_ptr<QSaveFile> m_save;
    std::unique_ptr<QFile> m_direct;
    QString m_error;
};
