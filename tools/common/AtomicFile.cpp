#include "AtomicFile.h"

#include "SignalPath.h"

#include <QTemporaryFile>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::atomic<bool> renameOnly {false};

// The permissions any new file gets here: a temporary file is made private.
mode_t newFileMode()
{
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mode_t(0666 & ~mask);
    }();
    return mode;
}
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
                         : (m_file ? m_file->errorString() : QString());
    return false;
}

bool AtomicFile::open(bool removedOnSignal)
{
    const SignalPath::Held held;
    m_file = std::make_unique<QTemporaryFile>(m_template);
    if (!m_file->open()) {
        m_error = m_file->errorString();
        m_file.reset();
        return false;
    }
    ::fchmod(m_file->handle(), newFileMode());
    m_removedOnSignal = removedOnSignal;
    if (m_removedOnSignal)
        SignalPath::removeOnSignal(m_file->fileName());
    return true;
}

bool AtomicFile::write(QByteArrayView bytes)
{
    errno = 0;
    // A write cut short by a full disk or a size limit leaves Qt without a
    // reason; the system has one.
    return m_file && m_file->write(bytes.data(), bytes.size()) == bytes.size() ? true
                                                                               : failed(errno);
}

bool AtomicFile::sync()
{
    errno = 0;
    if (!m_file || !m_file->flush() || m_file->error() != QFileDevice::NoError)
        return failed(errno);
    return ::fsync(m_file->handle()) == 0 || failed(errno);
}

QFileDevice *AtomicFile::device()
{
    return m_file.get();
}

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
        m_file->setAutoRemove(false);
    } else if (!renameOnly && ::link(from.constData(), to.constData()) == 0) {
        m_file->remove();
    } else if (!renameOnly && errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS &&
               errno != EMLINK) {
        return refused(errno);
    } else if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(),
                           RENAME_NOREPLACE) == 0) {
        m_file->setAutoRemove(false);
    } else {
        return refused(errno);
    }
    forget();
    return Placed::Done;
}

AtomicFile::Placed AtomicFile::refused(int error)
{
    if (error == EEXIST)
        return Placed::Taken;
    failed(error);
    return Placed::Failed;
}

void AtomicFile::discard()
{
    if (!m_file)
        return;
    const SignalPath::Held held;
    m_file.reset();
    forget();
}

void AtomicFile::forget()
{
    if (m_removedOnSignal)
        SignalPath::removeOnSignal(QString());
    m_removedOnSignal = false;
    m_file.reset();
}
