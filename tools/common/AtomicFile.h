#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>

class QFileDevice;
class QFile;

// A file written under a temporary name in the folder of its final name and
// given that name only once complete, so that nobody ever finds half of it
// there. The name is taken over whatever had it (Replace), or only while it
// is free (NeverReplace): by a hard link or, on a file system without them
// (FAT on a memory stick), a rename that refuses to replace.
class AtomicFile {
public:
    enum class Naming { Replace, NeverReplace };
    enum class Placed { Done, Taken, Failed };

    // The temporary file's path, its last XXXXXX standing for what makes it
    // unique.
    explicit AtomicFile(const QString &temporaryTemplate);
    ~AtomicFile(); // an uncommitted file goes
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // With removedOnSignal, a signal that ends the program removes the
    // temporary file until it is committed or discarded (SignalPath).
    // Unbuffered, every write reaches the system at once: a crash loses
    // none of it.
    enum class Buffering { Buffered, Unbuffered };
    bool open(bool removedOnSignal = false, Buffering buffering = Buffering::Buffered);
    // Opened, and neither committed nor discarded since.
    bool isOpen() const { return m_file != nullptr; }
    bool write(QByteArrayView bytes);
    // The bytes written so far on the disk, not only in the cache.
    bool sync();
    // The open file, for a writer that wants a device; null when not open.
    QFileDevice *device();

    // Syncs and names the file `path`, the name itself on disk too. Taken
    // leaves it open and unnamed, to be committed under another name.
    Placed commit(const QString &path, Naming naming);
    void discard();
    // Closes the file and leaves it under its temporary name, for a later
    // run to find: what was written ahead of a job not yet saved.
    void release();
    // Its temporary path while open.
    QString fileName() const;
    // The system's reason for the last failure.
    QString errorString() const { return m_error; }

    // Names files as on a file system without hard links.
    static void useRenameOnly(bool renameOnly);
    // Gives the file at `from` the name `to` only while that is free, as
    // commit() with NeverReplace does, and takes the name `from` away: for a
    // file an earlier run left. `error` says why it failed.
    static Placed nameOnce(const QString &from, const QString &to, QString &error);
    // The folder's entries on disk, its own changes included, so that a
    // power cut cannot take back a file named or removed there.
    static bool syncFolder(const QString &folder);

private:
    bool failed(int error);
    Placed refused(int error);

    QString m_template;
    std::unique_ptr<QFile> m_file;
    int m_signalSlot = -1; // SignalPath's, while a signal removes the file
    QString m_error;
};
