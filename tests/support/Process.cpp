#include "support/Process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <climits>
#include <unistd.h>

ProgramRun::ProgramRun(const QString &program) : m_name(QFileInfo(program).fileName())
{
    setProgram(program);
}

ProgramRun::~ProgramRun()
{
    if (state() != QProcess::NotRunning) {
        kill();
        waitForFinished(5000);
    }
}

bool ProgramRun::start(const QStringList &arguments, const std::function<void()> &inChild)
{
    if (inChild)
        setChildProcessModifier(inChild);
    setArguments(arguments);
    QProcess::start();
    return waitForStarted(10000);
}

bool ProgramRun::startHolding(const QStringList &arguments, const QString &path,
                              const std::function<void()> &inChild)
{
    return start(arguments, inChild) &&
        QTest::qWaitFor([&] { return holdsOpen(pid(), path); }, 20000);
}

const QByteArray &ProgramRun::out()
{
    m_out += readAllStandardOutput();
    return m_out;
}

const QByteArray &ProgramRun::err()
{
    m_err += readAllStandardError();
    return m_err;
}

QStringList ProgramRun::outLines()
{
    QStringList lines = QString::fromUtf8(out()).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

QStringList ProgramRun::messages()
{
    return ownMessages(err(), m_name);
}

int ProgramRun::stop(int signalNumber, int timeoutMs)
{
    if (state() != QProcess::NotRunning)
        ::kill(pid_t(processId()), signalNumber);
    return waitForEnd(timeoutMs);
}

int ProgramRun::waitForEnd(int timeoutMs)
{
    if (state() != QProcess::NotRunning && !waitForFinished(timeoutMs))
        return -1;
    out();
    err();
    return exitStatus() == QProcess::NormalExit ? exitCode() : -1;
}

ProcessResult runProcess(const QString &program, const QStringList &arguments,
                         const ProcessOptions &options)
{
    ProgramRun run(program);
    run.setProcessEnvironment(options.environment);
    ProcessResult result;
    if (!run.start(arguments, options.inChild))
        return result;
    if (!options.input.isEmpty())
        run.write(options.input);
    run.closeWriteChannel();
    result.exitCode = run.waitForEnd(options.timeoutMs);
    if (run.running()) {
        run.kill();
        run.waitForEnd(5000);
    }
    result.crashed = run.exitStatus() != QProcess::NormalExit;
    result.out = run.out();
    result.err = run.err();
    return result;
}

QStringList ownMessages(const QByteArray &err, const QString &programName)
{
    QStringList lines;
    for (const QString &line : QString::fromUtf8(err).split(QChar('\n'))) {
        if (line.startsWith(programName + QLatin1Char(':')))
            lines << line;
    }
    return lines;
}

std::unique_ptr<ProgramRun> startSimulator(const QStringList &arguments, QString &device)
{
    auto sim = std::make_unique<ProgramRun>(QStringLiteral(PC1600_SIM_PATH));
    if (!sim->start(arguments))
        return nullptr;
    const QDeadlineTimer deadline(10000);
    while (!sim->out().contains('\n')) {
        if (!sim->waitForReadyRead(int(deadline.remainingTime())))
            return nullptr;
    }
    device = QString::fromLocal8Bit(sim->out().left(sim->out().indexOf('\n'))).trimmed();
    if (device.isEmpty())
        return nullptr;
    return sim;
}

QStringList openFiles(qint64 pid)
{
    QStringList files;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    // Every link, whatever it leads to: a file, a device, a socket or nothing.
    const QDir::Filters all = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    for (const QString &fd : fds.entryList(all)) {
        char target[PATH_MAX];
        const ssize_t size =
            ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target);
        if (size > 0)
            files << QFile::decodeName(QByteArray(target, size));
    }
    return files;
}

bool holdsOpen(qint64 pid, const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    return !target.isEmpty() && openFiles(pid).contains(target);
}

namespace {
// The number after `field` in a /proc file of lines "field: value ..."; -1
// when it cannot be read.
qint64 procField(const QString &path, const QByteArray &field)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).simplified().split(' ').constFirst().toLongLong();
    }
    return -1;
}
} // namespace

qint64 bytesReadBy(qint64 pid)
{
    return procField(QStringLiteral("/proc/%1/io").arg(pid), "rchar:");
}

qint64 peakMemoryKb(qint64 pid)
{
    return procField(QStringLiteral("/proc/%1/status").arg(pid), "VmHWM:");
}

qint64 residentMemoryKb(qint64 pid)
{
    return procField(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS:");
}

bool resetPeakMemory(qint64 pid)
{
    // "5" to clear_refs sets the peak to what is resident now.
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1 && clear.flush();
}
