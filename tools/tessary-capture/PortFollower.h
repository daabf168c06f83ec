#pragma once

#include <QFileSystemWatcher>
#include <QString>
#include <QTimer>

#include <functional>
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
// While Gone or Refused the port's folder is watched and the path tried
// every second. Every message about the port comes from a transition.
class PortFollower {
public:
    enum class State { Open, Gone, Refused, HungUp, Closed };

    // `shown` is the path as the user gave it, for messages.
    PortFollower(PortConnection &port, const QString &shown);
    PortFollower(const PortFollower &) = delete;
    PortFollower &operator=(const PortFollower &) = delete;

    std::function<void(const QString &message)> say;
    // Told of each new state; Open again once the port is back.
    std::function<void(State state)> onChange;

    // The port has just been opened.
    void start();
    void portLost();
    // Bytes came: the next time the port goes is news again.
    void arrived() { m_said = Said::Nothing; }
    void close();
    State state() const { return m_state; }

private:
    // What was last said about the port since bytes last came: a port that
    // goes and comes back again with nothing in between is not news.
    enum class Said { Nothing, Gone, Back };

    void enter(State next);
    void tryReopen();
    void watch(bool on);

    PortConnection &m_port;
    QString m_shown;
    QString m_path; // absolute
    State m_state = State::Closed;
    Said m_said = Said::Nothing;
    QTimer m_retry;
    QFileSystemWatcher m_folderWatch;
    dev_t m_openedDevice = 0;
    // The pseudo-terminal that hung up: its number goes to the next
    // terminal that opens, which must never be taken for the port.
    dev_t m_hungUpTerminal = 0;
};
