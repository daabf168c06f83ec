#pragma once

#include "Say.h"

#include <QFileSystemWatcher>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <sys/types.h>

class PortConnection;

// Follows the port as a state machine:
//   Open    -- lost -------------------------------------> Gone
//   Open    -- lost, a pseudo-terminal by its own path ---> HungUp (for good)
//   Gone    -- the path names a device that opens -------> Open
//   Gone    -- it names a device that will not open -----> Refused
//   Refused -- it opens ---------------------------------> Open
//   Refused -- the device went --------------------------> Gone
//   any     -- close() ----------------------------------> Closed
// A port missing or shut at the start is waited for from Gone or Refused.
// While Gone or Refused the port's folder is watched and the path tried
// every second. Every message about the port comes from a transition.
//
// A pseudo-terminal behind a link (socat's pty,link=, as network serial
// servers make it anew on each reconnect) that hung up is back only when
// the link was made again or points elsewhere: the same link on the same
// terminal number is a stranger's terminal, or the dead one.
class PortFollower {
public:
    enum class State { Open, Gone, Refused, HungUp, Closed };

    // `shown` is the path as the user gave it, for messages.
    PortFollower(PortConnection &port, const QString &shown);
    PortFollower(const PortFollower &) = delete;
    PortFollower &operator=(const PortFollower &) = delete;

    std::function<void(const QString &message, Priority priority)> say;
    // Told of each new state; Open again once the port is back.
    std::function<void(State state)> onChange;

    // The port has just been opened, or did not open: then it is waited
    // for, as one lost.
    void start(bool open = true);
    void portLost();
    // Bytes came: the next time the port goes is news again.
    void arrived() { m_said = Said::Nothing; }
    void close();
    State state() const { return m_state; }

private:
    // What was last said about the port since bytes last came: a port that
    // goes and comes back again with nothing in between is not news.
    enum class Said { Nothing, Gone, Back };

    // What tells a link made again from the same one: its own inode and
    // change time, not the terminal behind it.
    struct LinkMark {
        ino_t inode = 0;
        qint64 changedNs = 0;
        bool operator==(const LinkMark &other) const
        {
            return inode == other.inode && changedNs == other.changedNs;
        }
    };
    static std::optional<LinkMark> linkMarkOf(const QString &path);
    void opened();
    void startWaiting();

    void enter(State next);
    void tryReopen();
    void watch(bool on);

    PortConnection &m_port;
    QString m_shown;
    QString m_path; // absolute
    State m_state = State::Closed;
    Said m_said = Said::Nothing;
    bool m_everOpen = false;
    QTimer m_retry;
    QFileSystemWatcher m_folderWatch;
    dev_t m_openedDevice = 0;
    std::optional<LinkMark> m_openedLink; // when the path is a link
    // The pseudo-terminal that hung up, and the link that led to it: its
    // number goes to the next terminal that opens, which must never be
    // taken for the port while the link is the same.
    dev_t m_hungUpTerminal = 0;
    std::optional<LinkMark> m_hungUpLink;
};
