#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>
#include <memory>

// A program run to its end.
struct ProcessResult {
    int exitCode = -1; // -1 also when it did not start, crashed or timed out
    bool crashed = false;
    QByteArray out;
    QByteArray err;
};

struct ProcessOptions {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QByteArray input; // written to standard input, which is then closed
    int timeoutMs = 60000;
    // Runs in the child between fork and exec (resource limits, say).
    std::function<void()> inChild;
};

ProcessResult runProcess(const QString &program, const QStringList &arguments,
                         const ProcessOptions &options = {});

// The lines of a program's standard error that start with its name and a
// colon: its own messages, not Qt's.
QStringList ownMessages(const QByteArray &err, const QString &programName);

// Whether the process with this id holds `path` open (the file it names,
// through links).
bool holdsOpen(qint64 pid, const QString &path);

// All the bytes the process's reads have returned so far (rchar in
// /proc/PID/io), from any file; -1 when it cannot be read. What grows by
// at least N after N bytes were written to an idle process's port shows it
// took them.
qint64 bytesReadBy(qint64 pid);

// pc1600-sim started with these arguments; `device` gets the path it names
// on its first line of output. Nothing when it did not start or name one.
std::unique_ptr<QProcess> startSimulator(const QStringList &arguments, QString &device);
