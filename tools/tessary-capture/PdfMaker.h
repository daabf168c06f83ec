#pragma once

#include "JobStore.h"
#include "PageWorker.h"

#include <QPageSize>
#include <QVector>

#include <functional>
#include <optional>

// Each saved job's pages as NAME.pdf beside its text, made on a thread of
// their own once the paper is settled (asked for, or the printer's own once
// it has answered), so that a job's PDF and its print are on the same
// paper. One that cannot be written is made again after the next job and
// at the end.
class PdfMaker {
public:
    // `paper`: the paper from the start; none while it is to be settled.
    PdfMaker(const QString &dir, std::optional<QPageSize> paper, CharacterSet charset);
    PdfMaker(const PdfMaker &) = delete;
    PdfMaker &operator=(const PdfMaker &) = delete;

    struct Made {
        TextReport saved; // the job whose PDF this is
        int sheets = 0;
        QString pdfPath; // once written
        QString drawError; // no pages could be made
        QString writeError; // made, not written; it is tried again
        bool again = false; // one that could not be written before
    };
    std::function<void(const Made &made)> onMade;
    // Nothing is being made any more.
    std::function<void()> onIdle;

    void add(const TextReport &saved);
    // The paper of the PDFs from now on; those held for it are made now.
    void setPaper(const QPageSize &paper);
    // The PDFs that could not be written are made again.
    void retry();
    // Being made, or held until the paper is settled.
    bool busy() const { return m_pages.busy() || !m_held.isEmpty(); }
    bool hasUnwritten() const { return !m_unwritten.isEmpty(); }

private:
    void order(const TextReport &saved, bool again);
    void made(const PageResult &result);

    PageWorker m_pages;
    std::optional<QPageSize> m_paper;
    QVector<TextReport> m_held;
    QVector<TextReport> m_unwritten;
    // What each order being made is for, in order.
    QVector<std::pair<TextReport, bool>> m_making;
};
