#pragma once

#include "JobStore.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// The prints that are due, kept on disk until CUPS has taken each: an empty
// file DIR/.tessary-prints/PRINTER/N-NAME each, N counting up in the order
// the jobs came, PRINTER naming the printer given ("printer-" and the
// queue's name, or "default"). Before a job's text takes its name, its mark
// is N-NAME.from-AHEAD, naming the write-ahead file that becomes the text,
// so that no crash leaves a text saved without its print due; the next
// start completes whatever such a step a crash left half done. Removing a
// mark by hand gives its print up, which the folder's watch tells at once.
class PrintMarks : public TextIntent {
public:
    // `printer`: the queue's name as given, empty for the default printer.
    PrintMarks(const QString &dir, const QString &printer);

    // Something changed in this printer's folder: a mark may have gone.
    std::function<void()> onChanged;

    struct Mark {
        int number = 0;
        QString name; // the job's
        QString path;
    };
    struct Found {
        QVector<Mark> due; // oldest first
        // Marks of other printers, now this one's, by the printer they were for.
        QMap<QString, int> movedFrom;
        QStringList
            gone; // texts whose marks went: neither they nor what was to become them is there
        QStringList leftAlone; // what is no mark
        QString error; // a mark that could not be moved or completed

        // The lines that tell of it, the prints going to `queue`.
        QStringList told(const QString &queue) const;
    };
    // The marks earlier runs left, every printer's: they are this capture's.
    Found load();

    QString before(const QString &name, const QString &ahead) override;
    QString after(const QString &name, const QString &ahead) override;

    // The print is done or given up: its mark goes, for good even after a
    // power cut. False, with the reason, when it cannot be removed.
    static bool done(const QString &mark, QString &error);
    static bool exists(const QString &mark);
    // Folders left empty go.
    void tidy() const;
    QString folder() const;
    // "Lasr" for "printer-Lasr", "the default printer" for "default".
    static QString printerShown(const QString &printer);

private:
    QString pathOf(int number, const QString &name, const QString &ahead = {}) const;
    QString create(const QString &name, const QString &ahead);
    void watch();
    struct Entry;
    void settle(Entry entry, Found &found);

    QString m_dir;
    QString m_printer;
    int m_last = 0;
    // Marks written before their text took its name, by write-ahead file.
    QHash<QString, QString> m_pending;
    QFileSystemWatcher m_watch;
};
