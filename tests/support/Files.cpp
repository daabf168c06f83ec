#include "support/Files.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList namesIn(const QString &dir)
{
    return QDir(dir).entryList(
        QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

QStringList linesWrittenTo(std::FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray text(1 << 16, '\0');
    text.truncate(qsizetype(std::fread(text.data(), 1, size_t(text.size()), file)));
    std::fseek(file, 0, SEEK_END);
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
