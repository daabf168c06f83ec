#include "AtomicFile.h"

#include "SignalPath.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::atomic<bool> renameOnly {false};
constexpr int kMostTries = 100;
} // namespace

AtomicFile::AtomicFile(const QString &temporaryTemplate) : m_template(temporaryTemplate) { }

AtomicFile::~AtomicFile()
{
    discard();
}

void AtomicFile::useRenameOnly(bool on)
{
    renameOnly = on;
}

bool AtomicFile::failed(int error)
{
    m_error = error != 0 ? QString::fromLocal8Bit(std::strerror(error))
                         : (m_file ? m_file->errorString() : m_error);
    return false;
}

bool AtomicFile::open(bool removedOnSignal, Buffering buffering)
{
    // A name nobody has, made by this very call; a signal knows it before
    // the file exists, so none can come in between and leave it behind.
    for (int tries = 0; tries < kMostTries; ++tries) {
        // Only the template's own X's: the folder's name may have some too.
        QString name = m_template;
        const QLatin1String placeholder("XXXXXX");
        name.replace(name.lastIndexOf(placeholder), placeholder.size(),
                     QString::number(QRandomGenerator::global()->generate(), 36));
        if (removedOnSignal)
            m_signalSlot = SignalPath::registerTemporaryFile(name);
        m_file = std::make_unique<QFile>(name);
        QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::NewOnly;
        if (buffering == Buffering::Unbuffered)
            mode |= QIODevice::Unbuffered;
        if (m_file->open(mode)) {
            // Held while it is written: a later start that finds it tells a
            // file left by a crash from one still being written.
            ::flock(m_file->handle(), LOCK_EX | LOCK_NB);
            return true;
        }
        SignalPath::unregisterTemporaryFile(m_signalSlot);
        m_signalSlot = -1;
        if (m_file->error() != QFileDevice::OpenError || !QFile::exists(name))
            break;
    }
    m_error = m_file->errorString();
    m_file.reset();
    return false;
}

bool AtomicFile::write(QByteArrayView bytes)
{
    errno = 0;
    // A write that failed before is no reason for this one to: the disk may
    // have room again.
    if (m_file)
        m_file->unsetError();
    // A write cut short by a full disk or a size limit leaves Qt without a
    // reason; the system has one.
    return m_file && m_file->write(bytes.data(), bytes.size()) == bytes.size() ? true
                                                                               : failed(errno);
}

bool AtomicFile::sync()
{
    errno = 0;
    // Writes that failed said so then; what counts now is the flush.
    if (m_file)
        m_file->unsetError();
    if (!m_file || !m_file->flush() || m_file->error() != QFileDevice::NoError)
        return failed(errno);
    return ::fsync(m_file->handle()) == 0 || failed(errno);
}

QFileDevice *AtomicFile::device()
{
    return m_file.get();
}

namespace {

// Names `from` as `to` only while `to` is free: a hard link, then the old
// name goes; where links are refused (FAT), a rename that refuses to
// replace. 0, EEXIST when the name is taken, or the system's error.
int placeOnce(const QByteArray &from, const QByteArray &to)
{
    if (!renameOnly && ::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (!renameOnly && errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK)
        return errno;
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0
        ? 0
        : errno;
}

} // namespace

AtomicFile::Placed AtomicFile::commit(const QString &path, Naming naming)
{
    if (!sync())
        return Placed::Failed;
    const QByteArray from = QFile::encodeName(m_file->fileName());
    const QByteArray to = QFile::encodeName(path);
    if (naming == Naming::Replace) {
        // The file it replaces keeps its permissions.
        struct stat old { };
        if (::stat(to.constData(), &old) == 0)
            ::fchmod(m_file->handle(), old.st_mode & 07777);
        if (::rename(from.constData(), to.constData()) != 0) {
            failed(errno);
            return Placed::Failed;
        }
    } else if (const int error = placeOnce(from, to); error != 0) {
        return refused(error);
    }
    m_file.reset();
    discard();
    // The name is there whether or not this works; a folder that cannot be
    // synced (some network file systems) is no reason to say otherwise.
    syncFolder(QFileInfo(path).path());
    return Placed::Done;
}

AtomicFile::Placed AtomicFile::nameOnce(const QString &from, const QString &to, QString &error)
{
    const int code = placeOnce(QFile::encodeName(from), QFile::encodeName(to));
    if (code == EEXIST)
        return Placed::Taken;
    if (code != 0) {
        error = QString::fromLocal8Bit(std::strerror(code));
        return Placed::Failed;
    }
    syncFolder(QFileInfo(to).path());
    return Placed::Done;
}

bool AtomicFile::syncFolder(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

AtomicFile::Placed AtomicFile::refused(int error)
{
    if (error == EEXIST)
        return Placed::Taken;
    failed(error);
    return Placed::Failed;
}

QString AtomicFile::fileName() const
{
    return m_file ? m_file->fileName() : QString();
}

void AtomicFile::release()
{
    if (m_file)
        m_file->close();
    m_file.reset();
    SignalPath::unregisterTemporaryFile(m_signalSlot);
    m_signalSlot = -1;
}

void AtomicFile::discard()
{
    if (m_file) {
        m_file->close();
        m_file->remove();
        m_file.reset();
    }
    SignalPath::unregisterTemporaryFile(m_signalSlot);
    m_signalSlot = -1;
}
