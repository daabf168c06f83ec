#include "support/Process.h"

#include <QDir>
#include <QFileInfo>

ProcessResult runProcess(const QString &program, const QStringList &arguments,
                         const ProcessOptions &options)
{
    QProcess process;
    process.setProcessEnvironment(options.environment);
    if (options.inChild)
        process.setChildProcessModifier(options.inChild);
    process.start(program, arguments);
    ProcessResult result;
    if (!process.waitForStarted(10000))
        return result;
    if (!options.input.isEmpty())
        process.write(options.input);
    process.closeWriteChannel();
    if (!process.waitForFinished(options.timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    if (process.state() == QProcess::NotRunning && !result.crashed)
        result.exitCode = process.exitCode();
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

std::unique_ptr<QProcess> startSimulator(const QStringList &arguments, QString &device)
{
    auto sim = std::make_unique<QProcess>();
    sim->start(QStringLiteral(PC1600_SIM_PATH), arguments);
    if (!sim->waitForStarted(10000))
        return nullptr;
    while (!sim->canReadLine()) {
        if (!sim->waitForReadyRead(10000))
            return nullptr;
    }
    device = QString::fromLocal8Bit(sim->readLine()).trimmed();
    if (device.isEmpty())
        return nullptr;
    return sim;
}

bool holdsOpen(qint64 pid, const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return false;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            return true;
    }
    return false;
}

qint64 bytesReadBy(qint64 pid)
{
    QFile io(QStringLiteral("/proc/%1/io").arg(pid));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}
