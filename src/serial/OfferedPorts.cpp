#include "serial/OfferedPorts.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isClosedFolderOfOurs(const QString &folder)
{
    struct stat st { };
    return ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// The pseudo-terminal the link leads to; empty when it leads anywhere else.
QString terminalOf(const QString &link)
{
    struct stat st { };
    if (::lstat(QFile::encodeName(link).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    static const QRegularExpression pts(QStringLiteral("^/dev/pts/[0-9]+$"));
    const QString target = QFileInfo(link).canonicalFilePath();
    if (!pts.match(target).hasMatch() || ::stat(QFile::encodeName(target).constData(), &st) != 0 ||
        !S_ISCHR(st.st_mode))
        return {};
    return target;
}

// Whether a running program holds the file locked. Asking takes a shared
// lock for an instant when nobody does; the offering program waits that out.
bool isLockHeld(const QString &path)
{
    const int handle =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (handle < 0)
        return false;
    struct stat st { };
    bool held = false;
    if (::fstat(handle, &st) == 0 && S_ISREG(st.st_mode)) {
        if (::flock(handle, LOCK_SH | LOCK_NB) == 0)
            ::flock(handle, LOCK_UN);
        else
            held = errno == EWOULDBLOCK;
    }
    ::close(handle);
    return held;
}

} // namespace

QString offeredPortsFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.startsWith(QLatin1Char('/')))
        return {};
    return QDir::cleanPath(runtime + QStringLiteral("/tessary/ports"));
}

QVector<PortDescriptor> offeredPorts(const QString &folder)
{
    QVector<PortDescriptor> ports;
    if (folder.isEmpty() || !isClosedFolderOfOurs(folder))
        return ports;
    const QDir dir(folder);
    // System: a link that leads nowhere is listed only with it.
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString link = dir.filePath(name);
        const QString terminal = terminalOf(link);
        if (terminal.isEmpty() || !isLockHeld(link + QStringLiteral(".lock")))
            continue;
        PortDescriptor port;
        port.description = QFileInfo(name).completeBaseName();
        port.name = QStringLiteral("%1 (%2)").arg(port.description, terminal);
        port.location = terminal;
        port.offered = true;
        ports.append(port);
    }
    return ports;
}
