#pragma once

#include <QString>

// The job folder, made when missing and proved writable, and held by one
// capture at a time: the folder itself is locked (flock) for as long as the
// capture runs, and DIR/.tessary-pid names the program holding it, so that
// a second capture on the folder neither takes the first one's jobs for a
// crash's leftovers nor prints what it keeps. The lock goes with the
// program, however it ends; the pid file goes when it ends by itself or by
// a signal, and a later start writes it anew.
class JobFolder {
public:
    JobFolder() = default;
    ~JobFolder();
    JobFolder(const JobFolder &) = delete;
    JobFolder &operator=(const JobFolder &) = delete;

    // False, with a sentence, when the folder cannot be made or written,
    // or another program holds it (named with its pid).
    bool open(const QString &dir, QString &error);
    // Makes DIR when missing and proves a file can be made in it.
    static bool prepare(const QString &dir, QString &error);

private:
    int m_fd = -1;
    QString m_pidFile;
    int m_signalSlot = -1;
};
