#include "CaptureSession.h"

#include "CaptureOptions.h"
#include "Outcome.h"
#include "PageWorker.h"
#include "PrintFeeder.h"
#include "ServiceStatus.h"
#include "printjob/Pagination.h"
#include "printjob/QuietRule.h"
#include "serial/PortConnection.h"

#include <QTimer>

namespace {

// A stop reads the job still arriving until the line has been quiet as long
// as the window's print job waits, but for no longer than a minute; then
// prints go on for a few seconds while CUPS takes them.
constexpr int kStopQuietMs = kDrainPauseMs;
constexpr int kMostStopReadMs = 60000;
constexpr int kMostStopPrintMs = 5000;

} // namespace

CaptureSession::CaptureSession(PortConnection &port, const CaptureOptions &options,
                               CaptureParts parts)
    : m_port(port),
      m_options(options),
      m_parts(parts),
      m_cutter(port, options.quietMs),
      m_follower(port, options.port)
{
    m_cutter.onBytes = [this](QByteArrayView bytes, const Job &job) {
        m_parts.store.writeAhead(bytes, job.firstByte);
        m_parts.outcome.arriving(bytes);
        m_follower.arrived();
    };
    m_cutter.onJobEnded = [this](Job job) { jobEnded(std::move(job)); };
    m_follower.say = [this](const QString &message) { m_parts.outcome.say(message); };
    m_follower.onChange = [this](PortFollower::State) { showStatus(); };
}

CaptureSession::~CaptureSession()
{
    m_port.setArrivalHandler({});
    m_port.setLostHandler({});
    if (m_parts.pages)
        m_parts.pages->setHandlers({}, {});
    if (m_parts.prints) {
        m_parts.prints->needPages = {};
        m_parts.prints->onIdle = {};
        m_parts.prints->onChange = {};
    }
}

void CaptureSession::start()
{
    // The local time zone loads on first use; not while a job waits for
    // its quiet time to end.
    m_cutter.clock();
    m_follower.start();
    if (m_parts.pages)
        m_parts.pages->setHandlers([this](const PageResult &result) { pagesDone(result); },
                                   [this] { finishPages(); });
    if (m_parts.prints) {
        m_parts.prints->needPages = [this](const Waiting &print) { printPages(print); };
        m_parts.prints->onIdle = [this] { finishPages(); };
        m_parts.prints->onChange = [this] { showStatus(); };
        QString others;
        m_parts.store.loadPrints(others);
        if (!others.isEmpty())
            m_parts.outcome.say(others);
    }
    for (const TextReport &report : m_parts.store.recover()) {
        m_parts.outcome.recovered(report);
        if (report.saved())
            saved({report});
    }
    if (m_parts.prints)
        m_parts.prints->tryNow();
    m_port.setArrivalHandler([this] { m_cutter.take(); });
    m_port.setLostHandler([this] { portLost(); });
    showStatus();
    // What came before the loop ran is no less a job.
    m_cutter.take();
}

void CaptureSession::jobEnded(Job job)
{
    m_parts.outcome.jobEnded();
    // The raw bytes are the record: on the disk first, before any page is made.
    saved(m_parts.store.save(std::move(job)));
    retryPdfs();
    if (m_options.once && m_phase == Phase::Capturing)
        QTimer::singleShot(0, [this] { stop(); });
}

// A job is printed once: from when its text is on disk, whenever that is.
void CaptureSession::saved(const QVector<TextReport> &reports)
{
    for (const TextReport &report : reports) {
        if (report.folderMadeAgain)
            m_parts.outcome.say(
                QStringLiteral("%1 had gone and is made again").arg(m_parts.store.dir()));
        if (!report.saved()) {
            m_parts.outcome.notSavedYet(Outcome::jobName(report.job) + " is not saved",
                                        report.error, m_phase == Phase::Capturing);
            continue;
        }
        const bool print = m_parts.prints != nullptr;
        if (print) {
            QString error;
            m_parts.store.printWaits(report, error);
            if (!error.isEmpty())
                m_parts.outcome.say(QStringLiteral("%1: its print is not kept on disk: %2")
                                        .arg(report.textPath, error));
        }
        orderPages(report, print);
    }
    showStatus();
}

void CaptureSession::orderPages(const TextReport &report, bool print)
{
    PageOrder order {report.job, report.name, paper(), m_options.pdf, false, false, true};
    // The print that goes next takes the job's own pages: they are made once.
    if (print)
        order.forPrint = m_parts.prints->takesPagesOf(report.name);
    const bool forPrint = order.forPrint;
    if (m_parts.pages && (order.pdfFile || forPrint))
        m_parts.pages->add(std::move(order));
    else
        tellJob(report.name, report.job.bytes, countPages(report.job.bytes));
    if (print && !forPrint)
        m_parts.prints->tryNow();
}

void CaptureSession::pagesDone(const PageResult &result)
{
    const PageOrder &order = result.order;
    const QString where = m_parts.store.textPath(order.name);
    const bool pdfWritten = result.pdfFile && result.pdfFile->error.isEmpty();
    if (order.again) {
        if (pdfWritten)
            m_parts.outcome.line(QStringLiteral("%1: written now").arg(result.pdfFile->pdfPath));
        else
            m_parts.store.wait({Waiting::What::Pdf, order.job, order.name, {}, {}});
        return;
    }
    if (order.tellJob)
        tellJob(order.name, order.job.bytes,
                result.drawError.isEmpty() ? result.sheets : countPages(order.job.bytes));
    if (order.forPrint)
        m_parts.prints->pagesMade(order.name, result.pdf, result.drawError);
    if (!result.drawError.isEmpty()) {
        m_parts.outcome.say(QStringLiteral("%1: no pages made: %2").arg(where, result.drawError));
        if (order.pdfFile)
            m_parts.outcome.notSaved();
    } else if (result.pdfFile && !pdfWritten) {
        m_parts.outcome.notSavedYet(where + " is written, not its PDF", result.pdfFile->error,
                                    m_phase == Phase::Capturing);
        m_parts.store.wait({Waiting::What::Pdf, order.job, order.name, {}, {}});
    }
}

// The job's line waits for its print, unless prints wait already.
void CaptureSession::tellJob(const QString &name, const QByteArray &bytes, int pages)
{
    const bool print = m_parts.prints != nullptr;
    const bool waits = print && m_parts.prints->waiting();
    m_parts.outcome.job(name, m_parts.store.textPath(name), bytes, pages,
                        waits ? m_parts.prints->waitNote() : QString(), print && !waits);
}

void CaptureSession::printPages(const Waiting &print)
{
    if (m_parts.pages)
        m_parts.pages->add({print.job, print.name, paper(), false, true, false, false});
}

// The paper asked for, or the queue's own default once known, or A4.
QPageSize CaptureSession::paper() const
{
    if (m_options.paper)
        return *m_options.paper;
    if (m_parts.prints && m_parts.prints->paper())
        return *m_parts.prints->paper();
    return QPageSize(QPageSize::A4);
}

// A PDF that could not be written is made again.
void CaptureSession::retryPdfs()
{
    if (!m_parts.pages)
        return;
    for (Waiting &pdf : m_parts.store.takeWaiting(Waiting::What::Pdf))
        m_parts.pages->add({std::move(pdf.job), pdf.name, paper(), true, false, true, false});
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
// program ends once the pages being made are done and the prints CUPS
// takes are taken.
void CaptureSession::stop()
{
    if (m_phase != Phase::Capturing)
        return;
    m_phase = Phase::Finishing;
    m_follower.close();
    if (m_parts.status)
        m_parts.status->stopping();
    m_cutter.finish(kStopQuietMs, kMostStopReadMs,
                    [this](const Job &last, bool cutShort) { lastJobRead(last, cutShort); });
}

void CaptureSession::stopNow()
{
    if (m_phase == Phase::Ended)
        return;
    m_phase = Phase::Finishing;
    m_atOnce = true;
    m_cutter.finish(0, 0, {});
    m_cutter.endJob();
    if (m_options.pdf && m_parts.pages && m_parts.pages->busy()) {
        m_parts.outcome.notSaved();
        m_parts.outcome.say(QStringLiteral("a second signal ends the capture before all PDFs are "
                                           "made; tessary-print makes them from the texts"));
    }
    if (m_parts.prints)
        m_parts.outcome.printsAll(QStringLiteral("print waits for the next start"));
    end();
}

void CaptureSession::lastJobRead(const Job &last, bool cutShort)
{
    if (cutShort)
        m_parts.outcome.cutShort(last, kMostStopReadMs / 1000);
    if (last.bytes.isEmpty()) {
        saved(m_parts.store.retryTexts());
        retryPdfs();
    }
    finishPages();
}

void CaptureSession::finishPages()
{
    if (m_phase != Phase::Finishing || m_atOnce || !m_cutter.finished() ||
        (m_parts.pages && m_parts.pages->busy()))
        return;
    if (!m_parts.prints)
        return end();
    if (!m_printsFinishing) {
        m_printsFinishing = true;
        return m_parts.prints->finish(kMostStopPrintMs);
    }
    if (!m_parts.prints->busy())
        end();
}

void CaptureSession::end()
{
    if (m_phase == Phase::Ended)
        return;
    m_phase = Phase::Ended;
    m_parts.outcome.rescue(m_parts.store.takeWaiting(Waiting::What::Text));
    if (m_parts.store.hasWaiting(Waiting::What::Pdf))
        m_parts.outcome.pdfsLost();
    if (m_parts.prints)
        m_parts.outcome.printsWaiting(m_parts.store.countWaiting(Waiting::What::Print),
                                      m_parts.prints->queue(), m_parts.store.dir());
    m_port.setArrivalHandler({});
    m_port.setLostHandler({});
    m_port.close();
    if (onEnd)
        onEnd(m_parts.outcome.exitStatus(), m_atOnce);
}

void CaptureSession::showStatus()
{
    // A stop says so once, and nothing after it.
    if (!m_parts.status || m_phase != Phase::Capturing)
        return;
    const int prints = m_parts.store.countWaiting(Waiting::What::Print);
    m_parts.status->show(m_follower.state() == PortFollower::State::Open, prints,
                         m_parts.prints ? m_parts.prints->queue() : QString());
}
