#include "PortFollower.h"

#include "serial/PortConnection.h"
#include "texts/PortErrors.h"

#include <QFileInfo>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// A vanished port is looked for again this often even when no folder
// change is reported: inotify says nothing about /dev/pts, for one.
constexpr int kRetryEveryMs = 1000;

// The character device a path names, through links; 0 when there is none.
dev_t deviceAt(const QString &path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return 0;
    return info.st_rdev;
}

// A pseudo-terminal's slave side (/dev/pts/N): once hung up it never comes
// back, and its number goes to the next terminal that opens.
bool isPseudoTerminal(dev_t device)
{
    const unsigned kind = major(device);
    return kind >= 136 && kind <= 143;
}

} // namespace

std::optional<PortFollower::LinkMark> PortFollower::linkMarkOf(const QString &path)
{
    struct stat info { };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISLNK(info.st_mode))
        return std::nullopt;
    return LinkMark {info.st_ino, qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

PortFollower::PortFollower(PortConnection &port, const QString &shown)
    : m_port(port), m_shown(shown), m_path(QFileInfo(shown).absoluteFilePath())
{
    m_retry.setInterval(kRetryEveryMs);
    QObject::connect(&m_retry, &QTimer::timeout, [this] { tryReopen(); });
    QObject::connect(&m_folderWatch, &QFileSystemWatcher::directoryChanged,
                     [this] { tryReopen(); });
}

void PortFollower::start(bool open)
{
    if (!open)
        return startWaiting();
    opened();
    m_state = State::Open;
    m_everOpen = true;
}

void PortFollower::startWaiting()
{
    m_said = Said::Gone;
    const bool there = QFileInfo::exists(m_path);
    if (!there && say)
        say(m_shown + QLatin1String(": no such device; waiting for it"), Priority::Waits);
    enter(there ? State::Refused : State::Gone);
}

void PortFollower::opened()
{
    m_openedDevice = deviceAt(m_path);
    m_openedLink = linkMarkOf(m_path);
    m_hungUpTerminal = 0;
}

void PortFollower::portLost()
{
    if (m_state != State::Open)
        return;
    // Named by a link when it was opened: the link may be gone already, as
    // its maker removes it when it ends.
    if (isPseudoTerminal(m_openedDevice)) {
        if (!m_openedLink)
            return enter(State::HungUp);
        m_hungUpTerminal = m_openedDevice;
        m_hungUpLink = m_openedLink;
    }
    enter(State::Gone);
}

void PortFollower::close()
{
    enter(State::Closed);
}

void PortFollower::tryReopen()
{
    if (m_state != State::Gone && m_state != State::Refused)
        return;
    watch(true);
    // Through links to what they point at now: a link moved to a new device,
    // or made again, is the port back. The same link still on the number of
    // the terminal that hung up is not.
    const dev_t device = deviceAt(m_path);
    if (device == 0 ||
        (m_hungUpTerminal != 0 && device == m_hungUpTerminal && linkMarkOf(m_path) == m_hungUpLink))
        return enter(State::Gone);
    if (!m_port.open())
        return enter(State::Refused);
    opened();
    enter(State::Open);
}

void PortFollower::enter(State next)
{
    const State was = m_state;
    if (next == was)
        return;
    m_state = next;
    QString news;
    switch (next) {
    case State::Gone:
        if (was == State::Open && m_said == Said::Nothing) {
            news = QStringLiteral("the port is gone; waiting for it to come back");
            m_said = Said::Gone;
        }
        break;
    case State::Refused:
        // Why, in the system's words, and what to do.
        news = QStringLiteral("it does not open: %1 (error %2: %3); %4; tried again every second")
                   .arg(m_port.lastErrorText())
                   .arg(m_port.lastErrorCode())
                   .arg(portErrorSentence(m_port.lastErrorCode()),
                        portErrorRemedy(m_port.lastErrorCode()));
        break;
    case State::Open:
        if (was == State::Refused || m_said == Said::Gone) {
            news = m_everOpen ? QStringLiteral("open again") : QStringLiteral("open");
            m_said = Said::Back;
        }
        m_everOpen = true;
        break;
    case State::HungUp:
        news = QStringLiteral("the pseudo-terminal hung up; it never comes back, so the capture "
                              "ends");
        break;
    case State::Closed:
        break;
    }
    watch(next == State::Gone || next == State::Refused);
    if (!news.isEmpty() && say)
        say(m_shown + QLatin1String(": ") + news,
            next == State::Open ? Priority::Notice : Priority::Waits);
    if (onChange)
        onChange(next);
}

// The port's folder tells when something comes or goes there; a folder
// that went (the last adapter of /dev/serial/by-id) is watched again once it
// is back.
void PortFollower::watch(bool on)
{
    const QStringList watched = m_folderWatch.directories();
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!on && !watched.isEmpty())
        m_folderWatch.removePaths(watched);
    else if (on && !watched.contains(folder) && QFileInfo(folder).isDir())
        m_folderWatch.addPath(folder);
    if (on && !m_retry.isActive())
        m_retry.start();
    else if (!on)
        m_retry.stop();
}
