#include "PrintMarks.h"

#include "AtomicFile.h"
#include "Counted.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kPrintsFolder = QStringLiteral(".tessary-prints");
const QString kFrom = QStringLiteral(".from-");

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool isThere(const QString &path, bool regular = false)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 &&
        (!regular || S_ISREG(info.st_mode));
}

bool renameMark(const QString &from, const QString &to, QString &error)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        error = QStringLiteral("cannot rename %1: %2").arg(from, systemReason());
        return false;
    }
    AtomicFile::syncFolder(QFileInfo(to).path());
    return true;
}

} // namespace

// "N-NAME" or "N-NAME.from-AHEAD"; number 0 when it is no mark.
struct PrintMarks::Entry {
    int number = 0;
    QString name;
    QString ahead;
    QString path;
    QString printer;

    static Entry of(const QString &file)
    {
        const int dash = int(file.indexOf(QLatin1Char('-')));
        bool ok = false;
        Entry entry;
        entry.number = dash > 0 ? file.left(dash).toInt(&ok) : 0;
        const QString rest = file.mid(dash + 1);
        const int from = int(rest.indexOf(kFrom));
        entry.name = from < 0 ? rest : rest.left(from);
        entry.ahead = from < 0 ? QString() : rest.mid(from + kFrom.size());
        if (!ok || entry.number <= 0 || entry.name.isEmpty())
            entry.number = 0;
        return entry;
    }
};

PrintMarks::PrintMarks(const QString &dir, const QString &printer)
    : m_dir(dir),
      m_printer(printer.isEmpty() ? QStringLiteral("default")
                                  : QStringLiteral("printer-") + QString(printer).replace('/', '_'))
{
    QObject::connect(&m_watch, &QFileSystemWatcher::directoryChanged, [this] {
        if (onChanged)
            onChanged();
        watch();
    });
}

// A folder removed and made again is watched anew.
void PrintMarks::watch()
{
    if (m_watch.directories().isEmpty() && QFileInfo::exists(folder()))
        m_watch.addPath(folder());
}

QString PrintMarks::folder() const
{
    return QDir(m_dir).filePath(kPrintsFolder + QLatin1Char('/') + m_printer);
}

QString PrintMarks::pathOf(int number, const QString &name, const QString &ahead) const
{
    return QStringLiteral("%1/%2-%3%4")
        .arg(folder())
        .arg(number, 8, 10, QLatin1Char('0'))
        .arg(name, ahead.isEmpty() ? QString() : kFrom + ahead);
}

QString PrintMarks::printerShown(const QString &printer)
{
    if (printer == QLatin1String("default"))
        return QStringLiteral("the default printer");
    return printer.startsWith(QLatin1String("printer-")) ? printer.mid(8) : printer;
}

PrintMarks::Found PrintMarks::load()
{
    Found found;
    const QDir prints(QDir(m_dir).filePath(kPrintsFolder));
    QStringList printers = prints.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    // This printer's own first, then the others': they follow this capture now.
    printers.removeAll(m_printer);
    printers.prepend(m_printer);
    QVector<Entry> entries;
    for (const QString &printer : std::as_const(printers)) {
        const QDir folder(prints.filePath(printer));
        QVector<Entry> here;
        for (const QString &file : folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                    QDir::NoDotAndDotDot)) {
            Entry entry = Entry::of(file);
            entry.path = folder.filePath(file);
            entry.printer = printer;
            if (entry.number > 0 && isThere(entry.path, true))
                here.append(entry);
            else
                found.leftAlone << entry.path;
        }
        std::sort(here.begin(), here.end(),
                  [](const Entry &a, const Entry &b) { return a.number < b.number; });
        if (printer == m_printer && !here.isEmpty())
            m_last = here.last().number;
        entries += here;
    }
    for (const Entry &entry : std::as_const(entries))
        settle(entry, found);
    tidy();
    watch();
    return found;
}

// A mark of an earlier run: moved to this printer, completed when the text
// it was written for took its name, given up when neither is there.
void PrintMarks::settle(Entry entry, Found &found)
{
    if (entry.printer != m_printer && QDir().mkpath(folder())) {
        const int number = ++m_last;
        if (renameMark(entry.path, pathOf(number, entry.name, entry.ahead), found.error)) {
            entry.number = number;
            entry.path = pathOf(number, entry.name, entry.ahead);
            ++found.movedFrom[printerShown(entry.printer)];
        }
    }
    if (!entry.ahead.isEmpty()) {
        // Still to be saved: the store recovers it, naming it as this says.
        if (isThere(QDir(m_dir).filePath(entry.ahead))) {
            m_pending.insert(entry.ahead, entry.path);
            return;
        }
        if (!isThere(QDir(m_dir).filePath(entry.name + QLatin1String(".txt")))) {
            found.gone << QDir(m_dir).filePath(entry.name + QLatin1String(".txt"));
            done(entry.path, found.error);
            return;
        }
        if (renameMark(entry.path, pathOf(entry.number, entry.name), found.error))
            entry.path = pathOf(entry.number, entry.name);
    }
    found.due.append({entry.number, entry.name, entry.path});
}

QStringList PrintMarks::Found::told(const QString &queue) const
{
    QStringList lines;
    for (auto each = movedFrom.cbegin(); each != movedFrom.cend(); ++each)
        lines << QStringLiteral("%1 that waited for %2 %3 to %4")
                     .arg(counted(each.value(), "print", "prints"), each.key(),
                          QLatin1String(each.value() == 1 ? "goes" : "go"), queue);
    for (const QString &text : gone)
        lines << QStringLiteral("%1: its print is given up: neither it nor what was written ahead "
                                "of it is there")
                     .arg(text);
    if (!leftAlone.isEmpty())
        lines << QStringLiteral("left alone, as no marks of prints: %1")
                     .arg(leftAlone.join(QStringLiteral(", ")));
    return lines;
}

QString PrintMarks::before(const QString &name, const QString &ahead)
{
    const auto pending = m_pending.find(ahead);
    if (pending == m_pending.end())
        return create(name, ahead);
    // Another name, as the one meant was taken meanwhile.
    const QString to = pathOf(Entry::of(QFileInfo(*pending).fileName()).number, name, ahead);
    QString error;
    if (to != *pending && renameMark(*pending, to, error))
        *pending = to;
    return error;
}

QString PrintMarks::create(const QString &name, const QString &ahead)
{
    if (!QDir().mkpath(folder()))
        return QStringLiteral("cannot make the folder %1").arg(folder());
    const QString mark = pathOf(++m_last, name, ahead);
    const int fd = ::open(QFile::encodeName(mark).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0640);
    if (fd < 0)
        return QStringLiteral("cannot write in %1: %2").arg(folder(), systemReason());
    ::close(fd);
    // A folder that cannot be synced keeps the mark all the same.
    AtomicFile::syncFolder(folder());
    m_pending.insert(ahead, mark);
    watch();
    return {};
}

QString PrintMarks::after(const QString &name, const QString &ahead)
{
    const auto pending = m_pending.find(ahead);
    if (pending == m_pending.end())
        return {};
    QString mark = *pending;
    m_pending.erase(pending);
    // One that keeps its first name is still this text's: the next start
    // completes it.
    QString ignored;
    const QString to = pathOf(Entry::of(QFileInfo(mark).fileName()).number, name);
    if (renameMark(mark, to, ignored))
        mark = to;
    return mark;
}

bool PrintMarks::done(const QString &mark, QString &error)
{
    if (mark.isEmpty())
        return true;
    if (::unlink(QFile::encodeName(mark).constData()) != 0 && errno != ENOENT) {
        error = QStringLiteral("cannot remove %1: %2").arg(mark, systemReason());
        return false;
    }
    AtomicFile::syncFolder(QFileInfo(mark).path());
    return true;
}

bool PrintMarks::exists(const QString &mark)
{
    return isThere(mark);
}

void PrintMarks::tidy() const
{
    QDir prints(QDir(m_dir).filePath(kPrintsFolder));
    for (const QString &printer : prints.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        prints.rmdir(printer);
    QDir(m_dir).rmdir(kPrintsFolder);
}
