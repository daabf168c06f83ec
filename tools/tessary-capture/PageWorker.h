#pragma once

#include "Job.h"
#include "OrderThread.h"
#include "toolkit/CharacterSet.h"

#include <QPageSize>
#include <QString>

// What a job's pages are made for: NAME.pdf beside its text, or a print.
enum class PageUse { PdfFile, Print };

struct PageOrder {
    Job job;
    QString name; // the base name of its text on disk
    QPageSize paper;
    PageUse use = PageUse::PdfFile;
};

struct PageResult {
    PageOrder order;
    int sheets = 0;
    QString drawError; // no pages could be made
    QString pdfPath; // PdfFile: once written
    QString writeError; // PdfFile: why it is not
    QByteArray pdf; // Print: the pages
};

// Writes NAME.pdf beside NAME.txt in `dir`, never over another file, nor
// half of it under its name: its path, or nothing with the reason.
QString writePdfBeside(const QString &dir, const QString &name, const QByteArray &pdf,
                       QString &error);

// Makes the pages of each job, on a thread of its own, one job after
// another, so that the port is read and every arrival stamped meanwhile; a
// PDF file is written where its pages are made.
class PageWorker {
public:
    // `dir`: where PDF files go; `charset`: what the pages draw bytes as.
    PageWorker(const QString &dir, CharacterSet charset)
        : m_dir(dir),
          m_charset(charset),
          m_thread([this](PageOrder order) { return make(std::move(order)); })
    { }

    void add(PageOrder order) { m_thread.add(std::move(order)); }
    bool busy() const { return m_thread.busy(); }
    // Told each result, and when the last one has come back.
    void setHandlers(std::function<void(const PageResult &)> done, std::function<void()> idle)
    {
        m_thread.onDone = std::move(done);
        m_thread.onIdle = std::move(idle);
    }

private:
    PageResult make(PageOrder order) const;

    QString m_dir;
    CharacterSet m_charset;
    OrderThread<PageOrder, PageResult> m_thread;
};
