#include "CaptureSession.h"

#include "CaptureOptions.h"
#include "LineSettingsHint.h"
#include "Outcome.h"
#include "PrintSpool.h"
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
        m_parts.store.writeAhead(job);
        m_parts.outcome.arriving(bytes);
        m_follower.arrived();
    };
    m_cutter.onJobEnded = [this](Job job) { jobEnded(std::move(job)); };
    m_follower.say = [this](const QString &message, Priority priority) {
        m_parts.outcome.say(message, priority);
    };
    m_follower.onChange = [this](PortFollower::State) { showStatus(); };
}

CaptureSession::~CaptureSession()
{
    m_port.setArrivalHandler({});
    m_port.setLostHandler({});
    m_parts.store.onRetried = {};
    if (m_parts.pdfs) {
        m_parts.pdfs->onMade = {};
        m_parts.pdfs->onIdle = {};
    }
    if (m_parts.prints) {
        m_parts.prints->onNews = {};
        m_parts.prints->onChange = {};
    }
}

void CaptureSession::connectParts()
{
    m_parts.store.onRetried = [this](const QVector<TextReport> &reports) { saved(reports); };
    if (m_parts.pdfs) {
        m_parts.pdfs->onMade = [this](const PdfMaker::Made &made) { pdfMade(made); };
        m_parts.pdfs->onIdle = [this] { finishIfDone(); };
    }
    if (m_parts.prints) {
        m_parts.prints->onNews = [this](const PrintNews &news) { printNews(news); };
        m_parts.prints->onChange = [this] { printsChanged(); };
    }
}

void CaptureSession::start(bool portOpen)
{
    // The local time zone loads on first use; not while a job waits for
    // its quiet time to end.
    m_cutter.clock();
    m_follower.start(portOpen);
    connectParts();
    if (m_parts.prints)
        m_parts.prints->load();
    recover();
    if (m_parts.prints)
        m_parts.prints->start();
    m_port.setArrivalHandler([this] { m_cutter.take(); });
    m_port.setLostHandler([this] { portLost(); });
    showStatus();
    // What came before the loop ran is no less a job.
    m_cutter.take();
}

// Jobs an earlier run left arriving are saved as the jobs they were.
void CaptureSession::recover()
{
    QStringList leftAlone;
    const QVector<TextReport> reports =
        m_parts.store.recover([this](const Job &job) { return intentFor(job); }, leftAlone);
    m_parts.outcome.leftAlone(m_parts.store.dir(), leftAlone);
    for (const TextReport &report : reports)
        m_parts.outcome.recovered(report);
    saved(reports);
}

void CaptureSession::jobEnded(Job job)
{
    m_parts.outcome.jobEnded();
    // The job that a second signal ends is cut short.
    if (m_atOnce)
        m_cut = job.firstByte;
    TextIntent *intent = intentFor(job);
    // The raw bytes are the record: on the disk first, before any page is made.
    saved(m_parts.store.save(std::move(job), intent));
    if (m_parts.pdfs)
        m_parts.pdfs->retry();
    if (m_options.once && m_phase == Phase::Capturing)
        QTimer::singleShot(0, [this] { stop(); });
}

// A job that looks like wrong line settings costs no paper, unless asked.
TextIntent *CaptureSession::intentFor(const Job &job) const
{
    if (!m_parts.prints || (!m_options.printSuspect && looksLikeWrongLineSettings(job.bytes)))
        return nullptr;
    return &m_parts.prints->intent();
}

bool CaptureSession::printDue(const TextReport &report) const
{
    return m_parts.prints && (!report.mark.isEmpty() || !report.intentError.isEmpty());
}

void CaptureSession::saved(const QVector<TextReport> &reports)
{
    for (const TextReport &report : reports) {
        if (report.folderMadeAgain)
            m_parts.outcome.madeAgain(m_parts.store.dir());
        if (!report.saved()) {
            if (!report.recovered && !report.again)
                m_parts.outcome.notSavedYet(Outcome::jobName(report.job) + " is not saved",
                                            report.error, m_phase == Phase::Capturing);
            continue;
        }
        if (!report.intentError.isEmpty()) {
            m_trouble = report.intentError;
            m_parts.outcome.notKept(report.textPath, report.intentError);
        }
        if (m_parts.pdfs && !m_atOnce)
            m_parts.pdfs->add(report);
        else
            tellJob(report, countPages(report.job.bytes));
    }
    showStatus();
}

void CaptureSession::pdfMade(const PdfMaker::Made &made)
{
    const TextReport &saved = made.saved;
    if (made.again) {
        if (!made.pdfPath.isEmpty())
            m_parts.outcome.line(made.pdfPath + QLatin1String(": written now"));
        return;
    }
    tellJob(saved, made.drawError.isEmpty() ? made.sheets : countPages(saved.job.bytes));
    if (!made.drawError.isEmpty())
        m_parts.outcome.noPages(saved.textPath, made.drawError);
    else if (!made.writeError.isEmpty())
        m_parts.outcome.notSavedYet(saved.textPath + " is written, not its PDF", made.writeError,
                                    m_phase == Phase::Capturing);
}

// The job's line, and then its print: the line waits for the print's first news.
void CaptureSession::tellJob(const TextReport &report, int pages)
{
    QString note;
    if (report.job.firstByte == m_cut && m_cut.isValid())
        note = Outcome::cutNote();
    else if (m_parts.prints && !printDue(report) && looksLikeWrongLineSettings(report.job.bytes))
        note = Outcome::suspectNote(m_parts.prints->byHand(report.name));
    m_parts.outcome.job(report.name, report.textPath, report.job.bytes, pages, note,
                        printDue(report));
    if (printDue(report))
        m_parts.prints->add(report.name, report.mark);
}

void CaptureSession::printNews(const PrintNews &news)
{
    if (news.trouble)
        m_trouble = news.text;
    m_parts.outcome.print(news, m_parts.store.textPath(news.name));
    showStatus();
}

void CaptureSession::printsChanged()
{
    if (m_parts.pdfs && m_parts.prints->paper())
        m_parts.pdfs->setPaper(*m_parts.prints->paper());
    showStatus();
    finishIfDone();
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

// The job in progress is read to its end and saved as one file, and what
// waits is tried a last time; nothing is read after that. The program ends
// once the pages being made are done and the prints CUPS takes are taken.
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
    if (m_parts.pdfs && m_parts.pdfs->busy())
        m_parts.outcome.pdfsCut();
    if (m_parts.prints)
        m_parts.prints->endNow();
    end();
}

void CaptureSession::lastJobRead(const Job &last, bool cutShort)
{
    if (cutShort)
        m_parts.outcome.cutShort(last, kMostStopReadMs / 1000);
    saved(m_parts.store.retry());
    if (m_parts.pdfs)
        m_parts.pdfs->retry();
    finishIfDone();
}

void CaptureSession::finishIfDone()
{
    if (m_phase != Phase::Finishing || m_atOnce || !m_cutter.finished() ||
        (m_parts.pdfs && m_parts.pdfs->busy()))
        return;
    if (!m_parts.prints)
        return end();
    if (!m_printsFinishing) {
        m_printsFinishing = true;
        return m_parts.prints->finish(kMostStopPrintMs);
    }
    if (m_parts.prints->finished())
        end();
}

void CaptureSession::end()
{
    if (m_phase == Phase::Ended)
        return;
    m_phase = Phase::Ended;
    m_parts.store.letGo(m_parts.outcome.rescue(m_parts.store.unsaved()));
    if (m_parts.pdfs && m_parts.pdfs->hasUnwritten())
        m_parts.outcome.pdfsLost();
    if (m_parts.prints)
        m_parts.outcome.printsLeft(m_parts.prints->kept(), m_parts.prints->unkept(),
                                   m_parts.prints->queue(), m_parts.store.dir());
    m_port.setArrivalHandler({});
    m_port.setLostHandler({});
    m_port.close();
    const int status = m_parts.outcome.exitStatus();
    if (m_parts.status)
        m_parts.status->ended(status, m_parts.prints);
    if (onEnd)
        onEnd(status, m_atOnce);
}

void CaptureSession::showStatus()
{
    // A stop says so once, and nothing after it.
    if (!m_parts.status || m_phase != Phase::Capturing)
        return;
    m_parts.status->show(m_follower.state() == PortFollower::State::Open,
                         m_parts.prints ? m_parts.prints->waiting() : 0,
                         m_parts.prints ? m_parts.prints->queue() : QString(), m_trouble);
}
