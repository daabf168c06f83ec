#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <csignal>
#include <functional>
#include <memory>

// A program started in the background, as a user leaves it running, while
// the test goes on. What it writes is kept: QProcess takes it in whenever
// the event loop runs or a wait is under way, and out() and err() hold all
// of it so far (read it through them only, not through QProcess's reads).
// Anything else QProcess offers (environment, standard input, exit status)
// is there as well. A program still running when this goes is killed.
class ProgramRun : public QProcess {
public:
    explicit ProgramRun(const QString &program);
    ~ProgramRun() override;

    // Starts it with these arguments; inChild runs in the child between
    // fork and exec (resource limits, a terminal as standard error). False
    // when it did not start within 10 s.
    bool start(const QStringList &arguments, const std::function<void()> &inChild = {});
    // Starts it like start(), then waits until it holds `path` open: a
    // program that serves a port is ready for bytes once it has opened it.
    // False when it did not start, or had not opened the path within 20 s.
    bool startHolding(const QStringList &arguments, const QString &path,
                      const std::function<void()> &inChild = {});
    qint64 pid() const { return processId(); }
    bool running() const { return state() == QProcess::Running; }

    // Everything it wrote on standard output / standard error so far.
    const QByteArray &out();
    const QByteArray &err();
    // The lines of standard output that hold anything.
    QStringList outLines();
    // The lines of standard error that start with the program's name and a
    // colon: its own messages, not Qt's.
    QStringList messages();

    // Sends the signal, then waits for the end like waitForEnd().
    int stop(int signalNumber = SIGTERM, int timeoutMs = 30000);
    // Waits for the end; the exit code, or -1 when it did not end in time
    // or ended by a signal (exitStatus() tells which).
    int waitForEnd(int timeoutMs = 30000);

private:
    QString m_name;
    QByteArray m_out;
    QByteArray m_err;
};

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

// What the process with this id holds open: where each of its descriptors
// leads, as /proc/PID/fd tells it ("/dev/pts/3", "socket:[1234]",
// "/tmp/x (deleted)").
QStringList openFiles(qint64 pid);

// Whether the process with this id holds `path` open (the file it names,
// through links).
bool holdsOpen(qint64 pid, const QString &path);

// All the bytes the process's reads have returned so far (rchar in
// /proc/PID/io), from any file; -1 when it cannot be read. What grows by
// at least N after N bytes were written to an idle process's port shows it
// took them.
qint64 bytesReadBy(qint64 pid);

// The most memory the process has held resident so far (VmHWM in
// /proc/PID/status), in KB; -1 when it cannot be read.
qint64 peakMemoryKb(qint64 pid);
// The memory the process holds resident now (VmRSS), in KB; -1 when it
// cannot be read.
qint64 residentMemoryKb(qint64 pid);
// Starts the process's peak (peakMemoryKb) again from what it holds now;
// false where the system does not allow it.
bool resetPeakMemory(qint64 pid);

// pc1600-sim started with these arguments; `device` gets the path it names
// on its first line of output. Nothing when it did not start or name one.
std::unique_ptr<ProgramRun> startSimulator(const QStringList &arguments, QString &device);
