#pragma once

#include <QStringList>

#include <functional>
#include <memory>

// Tells, from the event loop, when the machine's serial ports may have
// changed: an adapter plugged in or pulled out.
class PortWatcher {
public:
    virtual ~PortWatcher() = default;
    virtual void setChangeHandler(std::function<void()> handler) = 0;
};

// The folders a change of the port list shows in: the device folders, the
// pseudo-terminals (an offering program that was killed leaves its link,
// but its terminal goes), the folder of offered ports and the folders above
// it, which the first offering program makes.
QStringList portFolders();

// Watches the device folders through the system's file notifications, with
// no polling. A change is told once the system has had a moment to finish
// the device's names and permissions; changes within that moment are told
// together.
class SystemPortWatcher : public PortWatcher {
public:
    static constexpr int kSettleMs = 300;

    // Folders that do not exist yet (no adapter has made /dev/serial/by-id)
    // are watched from the first change after they appear.
    explicit SystemPortWatcher(const QStringList &folders = portFolders(),
                               int settleMs = kSettleMs);
    ~SystemPortWatcher() override;
    void setChangeHandler(std::function<void()> handler) override;

    // The folders being watched now.
    QStringList watchedFolders() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
