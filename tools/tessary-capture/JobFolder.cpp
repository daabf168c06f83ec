#include "JobFolder.h"

#include "AtomicFile.h"
#include "LeftBehind.h"
#include "OwnFile.h"
#include "SignalPath.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

JobFolder::~JobFolder()
{
    if (m_fd < 0)
        return;
    SignalPath::unregisterTemporaryFile(m_signalSlot);
    QFile::remove(m_pidFile);
    ::close(m_fd);
}

bool JobFolder::prepare(const QString &dir, QString &error)
{
    if (QFileInfo(dir).exists() && !QFileInfo(dir).isDir()) {
        error = QStringLiteral("%1 is not a folder").arg(dir);
        return false;
    }
    std::error_code code;
    std::filesystem::create_directories(QFile::encodeName(dir).toStdString(), code);
    if (code) {
        error = QStringLiteral("cannot make the folder %1: %2")
                    .arg(dir, QString::fromLocal8Bit(code.message().c_str()));
        return false;
    }
    AtomicFile probe(QDir(dir).filePath(kTemporaryPrefix + "XXXXXX"));
    if (!probe.open() || !probe.write("probe") || !probe.sync()) {
        error = QStringLiteral("cannot write in %1: %2").arg(dir, probe.errorString());
        return false;
    }
    return true;
}

bool JobFolder::open(const QString &dir, QString &error)
{
    if (!prepare(dir, error))
        return false;
    m_pidFile = QDir(dir).filePath(QStringLiteral(".tessary-pid"));
    m_fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A file system that keeps no locks (some network ones) holds no capture back.
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(m_fd);
        m_fd = -1;
        QString unread;
        const QByteArray pid = OwnFile::read(m_pidFile, unread).trimmed();
        error = QStringLiteral("%1 is in use: another tessary-capture (pid %2) captures into it; "
                               "one capture a folder")
                    .arg(dir, pid.isEmpty() ? QStringLiteral("unknown") : QString(pid));
        return false;
    }
    if (m_fd < 0) {
        error = QStringLiteral("cannot lock %1: %2")
                    .arg(dir, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // The lock holds even where the pid cannot be written.
    const QByteArray own = QByteArray::number(qint64(::getpid())) + '\n';
    const int pidFd = ::open(QFile::encodeName(m_pidFile).constData(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (pidFd >= 0) {
        m_signalSlot = SignalPath::registerTemporaryFile(m_pidFile);
        [[maybe_unused]] const ssize_t written =
            ::write(pidFd, own.constData(), size_t(own.size()));
        ::close(pidFd);
    }
    return true;
}
