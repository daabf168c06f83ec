#pragma once

#include <QString>

// One capture a folder: the folder itself is locked (flock) for as long as
// the capture runs, and DIR/.tessary-pid names the program holding it, so
// that a second capture on the folder neither takes the first one's jobs
// for a crash's leftovers nor prints what it keeps. The lock goes with the
// program, however it ends; the pid file goes when it ends by itself or by
// a signal, and a later start writes it anew.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    // False, with a sentence naming the folder and the program holding it,
    // when another holds it or it cannot be locked.
    bool take(const QString &dir, QString &error);

private:
    int m_fd = -1;
    QString m_pidFile;
    int m_signalSlot = -1;
};
