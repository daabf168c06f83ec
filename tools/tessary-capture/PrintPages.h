#pragma once

#include "PageWorker.h"

#include <QByteArray>
#include <QPageSize>
#include <QString>

#include <functional>

// The pages a print needs: the job's PDF when there is one beside its text,
// so that the PDF and the print are the same pages on the same paper, or
// else pages made from its text, on a thread of their own. Only this
// user's regular files are read, never through a link.
class PrintPages {
public:
    PrintPages(const QString &dir, CharacterSet charset);
    PrintPages(const PrintPages &) = delete;
    PrintPages &operator=(const PrintPages &) = delete;

    // Told the pages of NAME, or why there are none (then `pdf` is empty);
    // maybe before make() returns.
    std::function<void(const QString &name, const QByteArray &pdf, const QString &error)> onReady;
    void make(const QString &name, const QPageSize &paper);

    // The command that prints a job by hand on `printer` (the default
    // printer when empty): lp with its PDF, or with tessary-print's pages.
    QString byHand(const QString &name, const QString &printer) const;

private:
    QString m_dir;
    CharacterSet m_charset;
    PageWorker m_worker;
};
