#include "CaptureSession.h"

#include "CaptureOptions.h"
#include "Outcome.h"
#include "PageWorker.h"
#include "printjob/Pagination.h"
#include "printjob/QuietRule.h"
#include "serial/PortConnection.h"

#include <QTimer>

namespace {

// A stop reads the job still arriving until the line has been quiet as long
// as the window's print job waits, but for no longer than a minute.
constexpr int kStopQuietMs = kDrainPauseMs;
constexpr int kMostStopReadMs = 60000;

} // namespace

CaptureSession::CaptureSession(PortConnection &port, const CaptureOptions &options, JobStore &store,
                               Outcome &outcome, PageWorker *pages)
    : m_port(port),
      m_options(options),
      m_store(store),
      m_outcome(outcome),
      m_pages(pages),
      m_cutter(port, options.quietMs),
      m_follower(port, options.port)
{
    m_cutter.onBytes = [this](QByteArrayView bytes, const Job &job) {
        m_store.writeAhead(bytes, job.firstByte);
        m_outcome.arriving(bytes);
        m_follower.arrived();
    };
    m_cutter.onJobEnded = [this](Job job) { jobEnded(std::move(job)); };
    m_follower.say = [this](const QString &message) { m_outcome.say(message); };
}

CaptureSession::~CaptureSession()
{
    m_port.setArrivalHandler({});
    m_port.setLostHandler({});
    if (m_pages) {
        m_pages->onDone = {};
        m_pages->onIdle = {};
    }
}

void CaptureSession::start()
{
    // The local time zone loads on first use; not while a job waits for
    // its quiet time to end.
    m_cutter.clock();
    m_follower.start();
    m_port.setArrivalHandler([this] { m_cutter.take(); });
    m_port.setLostHandler([this] { portLost(); });
    if (m_pages) {
        m_pages->onDone = [this](const PageResult &result) { pagesDone(result); };
        m_pages->onIdle = [this] { finishPages(); };
    }
    // What came before the loop ran is no less a job.
    m_cutter.take();
}

void CaptureSession::jobEnded(Job job)
{
    m_outcome.jobEnded();
    // The raw bytes are the record: on the disk first, before any page is made.
    saved(m_store.save(std::move(job)), true);
    retryPdfs();
    if (m_options.once && m_phase == Phase::Capturing)
        QTimer::singleShot(0, [this] { stop(); });
}

void CaptureSession::saved(const QVector<TextReport> &reports, bool newJobLast)
{
    for (int i = 0; i < reports.size(); ++i) {
        const TextReport &report = reports[i];
        if (report.folderMadeAgain)
            m_outcome.say(QStringLiteral("%1 had gone and is made again").arg(m_store.dir()));
        if (!report.saved())
            m_outcome.say(QStringLiteral("%1 is not saved: %2%3")
                              .arg(Outcome::jobName(report.job), report.error, waitNote()));
        // A job is printed once, when it ends; a text written later only
        // gets its PDF.
        PageOrder order {report.job, report.name, m_options.pdf && report.saved(),
                         newJobLast && i == reports.size() - 1 && m_options.print};
        if (m_pages && (order.pdfFile || order.print))
            m_pages->add(std::move(order));
        else if (report.saved())
            m_outcome.jobLine(
                Outcome::summary(report.textPath, report.job.bytes, countPages(report.job.bytes)));
    }
}

void CaptureSession::pagesDone(const PageResult &result)
{
    const PageOrder &order = result.order;
    const QString where = order.name.isEmpty()
        ? QStringLiteral("the job of %1")
              .arg(order.job.firstByte.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
        : m_store.textPath(order.name);
    const bool pdfWritten = result.pdfFile && result.pdfFile->error.isEmpty();
    if (order.again) {
        if (pdfWritten)
            m_outcome.jobLine(QStringLiteral("%1: written now").arg(result.pdfFile->pdfPath));
        else
            m_store.wait({Waiting::What::Pdf, order.job, order.name});
        return;
    }
    const int pages = result.drawError.isEmpty() ? result.sheets : countPages(order.job.bytes);
    QString line = Outcome::summary(where, order.job.bytes, pages);
    if (result.printed) {
        if (result.printed->printed) {
            line += QStringLiteral(", printed on %1 as job %2")
                        .arg(result.printed->queue)
                        .arg(result.printed->jobId);
        } else {
            line += QStringLiteral(", not printed: %1: %2")
                        .arg(result.printed->queue, result.printed->error);
            m_outcome.notPrinted();
        }
    }
    m_outcome.jobLine(line);
    if (!result.drawError.isEmpty()) {
        m_outcome.say(QStringLiteral("%1: no pages made: %2").arg(where, result.drawError));
        if (order.pdfFile)
            m_outcome.notSaved();
    } else if (result.pdfFile && !pdfWritten) {
        m_outcome.say(QStringLiteral("%1 is written, not its PDF: %2%3")
                          .arg(where, result.pdfFile->error, waitNote()));
        m_store.wait({Waiting::What::Pdf, order.job, order.name});
    }
}

QString CaptureSession::waitNote() const
{
    return m_phase == Phase::Capturing
        ? QStringLiteral("; it is kept and tried again after the next job and at the end")
        : QString();
}

// A PDF that could not be written is made again.
void CaptureSession::retryPdfs()
{
    if (!m_pages)
        return;
    for (Waiting &pdf : m_store.takeWaiting(Waiting::What::Pdf))
        m_pages->add({std::move(pdf.job), pdf.name, true, false, true});
}

void CaptureSession::portLost()
{
    if (m_phase == Phase::Ended)
        return;
    // What the port held when it went is the end of this job.
    m_cutter.take();
    const bool ended = m_cutter.endJob();
    m_follower.portLost();
    if (m_follower.state() == PortFollower::State::HungUp || (ended && m_options.once))
        stop();
}

// The job in progress is read to its end and saved as one file, and the
// waiting files are tried a last time; nothing is read after that. The
// program ends once the pages being made are done.
void CaptureSession::stop()
{
    if (m_phase != Phase::Capturing)
        return;
    m_phase = Phase::Finishing;
    m_follower.close();
    m_cutter.finish(kStopQuietMs, kMostStopReadMs,
                    [this](const Job &last, bool cutShort) { lastJobRead(last, cutShort); });
}

void CaptureSession::lastJobRead(const Job &last, bool cutShort)
{
    if (cutShort)
        m_outcome.say(QStringLiteral("%1 was still arriving after %2 s: what came is saved; the "
                                     "rest was not read")
                          .arg(Outcome::jobName(last))
                          .arg(kMostStopReadMs / 1000));
    if (last.bytes.isEmpty()) {
        saved(m_store.retryTexts(), false);
        retryPdfs();
    }
    finishPages();
}

void CaptureSession::finishPages()
{
    if (m_phase == Phase::Finishing && m_cutter.finished() && !(m_pages && m_pages->busy()))
        end();
}

void CaptureSession::end()
{
    m_phase = Phase::Ended;
    QVector<Job> unwritten;
    for (Waiting &text : m_store.takeWaiting(Waiting::What::Text))
        unwritten.append(std::move(text.job));
    m_outcome.rescue(unwritten);
    if (m_store.hasWaiting(Waiting::What::Pdf)) {
        m_outcome.notSaved();
        m_outcome.say(QStringLiteral("some PDFs could not be written; their texts are saved"));
    }
    m_port.setArrivalHandler({});
    m_port.setLostHandler({});
    m_port.close();
    if (onEnd)
        onEnd(m_outcome.exitStatus());
}
