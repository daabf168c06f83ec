#include "serial/PortWatcher.h"

#include "serial/OfferedPorts.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

struct SystemPortWatcher::Private {
    void watchWhatExists();

    QStringList folders;
    QFileSystemWatcher watcher;
    QTimer settle;
    std::function<void()> handler;
};

void SystemPortWatcher::Private::watchWhatExists()
{
    const QStringList watched = watcher.directories();
    for (const QString &folder : std::as_const(folders)) {
        if (!watched.contains(folder) && QDir(folder).exists())
            watcher.addPath(folder);
    }
}

QStringList portFolders()
{
    QStringList folders = {QStringLiteral("/dev"), QStringLiteral("/dev/serial"),
                           QStringLiteral("/dev/serial/by-id"), QStringLiteral("/dev/pts")};
    const QString offered = offeredPortsFolder();
    if (!offered.isEmpty()) {
        const QString tessary = QFileInfo(offered).path();
        folders << QFileInfo(tessary).path() << tessary << offered;
    }
    return folders;
}

SystemPortWatcher::SystemPortWatcher(const QStringList &folders, int settleMs)
    : d(std::make_unique<Private>())
{
    d->folders = folders;
    d->settle.setSingleShot(true);
    d->settle.setInterval(settleMs);
    // A coarse timer may fire 5 % early, before udev is done; this one
    // fires rarely, so it may as well keep its word.
    d->settle.setTimerType(Qt::PreciseTimer);
    // Not restarted by later changes: a busy folder must not hold the news
    // back for ever.
    QObject::connect(&d->watcher, &QFileSystemWatcher::directoryChanged, &d->settle, [this] {
        if (!d->settle.isActive())
            d->settle.start();
    });
    QObject::connect(&d->settle, &QTimer::timeout, &d->watcher, [this] {
        d->watchWhatExists();
        if (d->handler)
            d->handler();
    });
    d->watchWhatExists();
}

SystemPortWatcher::~SystemPortWatcher() = default;

void SystemPortWatcher::setChangeHandler(std::function<void()> handler)
{
    d->handler = std::move(handler);
}

QStringList SystemPortWatcher::watchedFolders() const
{
    return d->watcher.directories();
}
