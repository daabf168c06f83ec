#include "OwnFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

OwnFile::~OwnFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool OwnFile::open(const QString &path, QString &error)
{
    // A FIFO or a device is not even opened: that alone could block or act.
    struct stat info { };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        error = systemReason();
        return false;
    }
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        error = S_ISLNK(info.st_mode) ? QStringLiteral("a symbolic link")
            : !S_ISREG(info.st_mode)  ? QStringLiteral("not a regular file")
                                      : QStringLiteral("owned by another user");
        return false;
    }
    m_fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat opened { };
    if (m_fd < 0 || ::fstat(m_fd, &opened) != 0) {
        error = systemReason();
        return false;
    }
    // Swapped between the look and the opening.
    if (opened.st_ino != info.st_ino || opened.st_dev != info.st_dev) {
        error = QStringLiteral("it changed while it was opened");
        return false;
    }
    m_links = opened.st_nlink;
    m_inode = opened.st_ino;
    m_size = opened.st_size;
    return true;
}

QByteArray OwnFile::readAll(QString &error)
{
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
        if (got > 0) {
            bytes.append(chunk, got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = systemReason();
        return bytes;
    }
}

bool OwnFile::heldByAnother() const
{
    return ::flock(m_fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

QByteArray OwnFile::read(const QString &path, QString &error)
{
    OwnFile file;
    if (!file.open(path, error))
        return {};
    return file.readAll(error);
}
