#include "Say.h"

#include <QCoreApplication>

#include <sys/stat.h>

QByteArray journalPrefix(std::FILE *stream, Priority priority)
{
    const QByteArray journal = qgetenv("JOURNAL_STREAM");
    struct stat info { };
    if (journal.isEmpty() || ::fstat(::fileno(stream), &info) != 0)
        return {};
    const QByteArray here = QByteArray::number(qulonglong(info.st_dev)) + ':' +
        QByteArray::number(qulonglong(info.st_ino));
    if (journal != here)
        return {};
    return '<' + QByteArray::number(int(priority)) + '>';
}

void say(const QString &text, Priority priority)
{
    std::fprintf(stderr, "%s%s: %s\n", journalPrefix(stderr, priority).constData(),
                 qUtf8Printable(QCoreApplication::applicationName()), qUtf8Printable(text));
    std::fflush(stderr);
}
