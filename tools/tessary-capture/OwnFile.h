#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// A file of this program's own, opened to be read: a regular file owned by
// the user the program runs as, never reached through a symbolic link, so
// that a link or another user's file dropped into the job folder is never
// read, copied or printed.
class OwnFile {
public:
    OwnFile() = default;
    ~OwnFile();
    OwnFile(const OwnFile &) = delete;
    OwnFile &operator=(const OwnFile &) = delete;

    // False, with the reason, when it is not such a file or cannot be opened.
    bool open(const QString &path, QString &error);
    QByteArray readAll(QString &error);
    // Another program holds it locked (a capture still writing it).
    bool heldByAnother() const;
    nlink_t links() const { return m_links; }
    ino_t inode() const { return m_inode; }
    qint64 size() const { return m_size; }

    // The whole of such a file, or nothing with the reason.
    static QByteArray read(const QString &path, QString &error);

private:
    int m_fd = -1;
    nlink_t m_links = 0;
    ino_t m_inode = 0;
    qint64 m_size = 0;
};
