#include "CupsPrinter.h"

#include "CupsConnection.h"

#include <QFile>
#include <QSizeF>

#include <cstring>

#include <cups/cups.h>

namespace {

// An IPP request on the queue, or on the server for an empty name.
ipp_t *newRequest(ipp_op_t operation, const QString &queue)
{
    ipp_t *request = ippNewRequest(operation);
    if (!queue.isEmpty()) {
        char uri[HTTP_MAX_URI];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost",
                         ippPort(), "/printers/%s", queue.toUtf8().constData());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    }
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    return request;
}

QString stringOf(ipp_t *response, const char *name)
{
    ipp_attribute_t *attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    return attribute ? QString::fromUtf8(ippGetString(attribute, 0, nullptr)) : QString();
}

// A PWG media name ("iso_a4_210x297mm") as a page size; a standard size is
// known by its name.
std::optional<QPageSize> pageSizeOf(const QString &media)
{
    const pwg_media_t *size = pwgMediaForPWG(media.toUtf8().constData());
    if (!size || size->width <= 0 || size->length <= 0)
        return std::nullopt;
    return QPageSize(QSizeF(size->width / 100.0, size->length / 100.0), QPageSize::Millimeter,
                     QString(), QPageSize::FuzzyMatch);
}

// The "Default" line of an lpoptions file: the queue's name, or nothing.
QString defaultIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    while (!file.atEnd()) {
        const QList<QByteArray> words = file.readLine().simplified().split(' ');
        if (words.size() >= 2 && words[0].compare("Default", Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(words[1]).section(QLatin1Char('/'), 0, 0);
    }
    return {};
}

// The default printer as lp finds it before it asks the server: LPDEST or
// PRINTER, then the user's and the system's lpoptions ('lpoptions -d').
QString defaultOfThisClient()
{
    for (const char *variable : {"LPDEST", "PRINTER"}) {
        const QString name = qEnvironmentVariable(variable).section(QLatin1Char('/'), 0, 0);
        if (!name.isEmpty() && name != QLatin1String("lp"))
            return name;
    }
    QString name;
    if (qEnvironmentVariableIsSet("HOME"))
        name = defaultIn(qEnvironmentVariable("HOME") + QStringLiteral("/.cups/lpoptions"));
    if (name.isEmpty())
        name = defaultIn(qEnvironmentVariable("CUPS_SERVERROOT", QStringLiteral("/etc/cups")) +
                         QStringLiteral("/lpoptions"));
    return name;
}

} // namespace

CupsPrinter::CupsPrinter(const QString &name) : m_name(name) { }

QString CupsPrinter::queue() const
{
    if (!m_found.isEmpty())
        return m_found;
    return m_name.isEmpty() ? QStringLiteral("the default printer") : m_name;
}

void CupsPrinter::setPaper(const QPageSize &paper)
{
    m_media = paper.id() == QPageSize::Letter ? QByteArrayLiteral("na_letter_8.5x11in")
                                              : QByteArrayLiteral("iso_a4_210x297mm");
}

bool CupsPrinter::find(QString &error)
{
    CupsConnection connection(m_cancelled);
    if (!connection.open(error))
        return false;
    QString name = m_name.isEmpty() ? defaultOfThisClient() : m_name;
    if (name.isEmpty()) {
        ipp_t *answer = connection.ask(newRequest(IPP_OP_CUPS_GET_DEFAULT, {}));
        name = stringOf(answer, "printer-name");
        ippDelete(answer);
        if (name.isEmpty()) {
            error = !connection.notFound()
                ? connection.reason()
                : QStringLiteral("--print: there is no default printer (%1); set one with "
                                 "'lpoptions -d NAME', or name a queue with --printer")
                      .arg(connection.reason());
            return false;
        }
    }
    ipp_t *request = newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, name);
    static const char *const wanted[] = {"printer-name", "media-default"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(std::size(wanted)), nullptr, wanted);
    ipp_t *answer = connection.ask(request);
    const QString found = stringOf(answer, "printer-name");
    const QString media = stringOf(answer, "media-default");
    ippDelete(answer);
    if (found.isEmpty()) {
        error = !connection.notFound()
            ? connection.reason()
            : QStringLiteral("there is no printer queue \"%1\" (%2); 'lpstat -p' lists the queues")
                  .arg(name, connection.reason());
        return false;
    }
    m_found = found;
    m_defaultPaper = pageSizeOf(media);
    return true;
}

PrintReceipt CupsPrinter::print(const QString &title, const QByteArray &pdf)
{
    PrintReceipt receipt;
    if (m_found.isEmpty() && !find(receipt.reason))
        return receipt;
    CupsConnection connection(m_cancelled);
    if (!connection.open(receipt.reason))
        return receipt;
    ipp_t *request = newRequest(IPP_OP_PRINT_JOB, m_found);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                 title.toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 CUPS_FORMAT_PDF);
    if (!m_media.isEmpty())
        ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, m_media.constData());
    ipp_t *answer = connection.send(request, QStringLiteral("/printers/") + m_found, pdf);
    ipp_attribute_t *id = ippFindAttribute(answer, "job-id", IPP_TAG_INTEGER);
    if (!connection.refused() && id) {
        receipt.answer = PrintReceipt::Answer::Accepted;
        receipt.jobId = ippGetInteger(id, 0);
    } else {
        receipt.reason = connection.reason();
        // No answer at all: the server may have read the whole request.
        receipt.answer = connection.refusedForWhatItIs() ? PrintReceipt::Answer::Refused
            : connection.gaveUp() || !answer             ? PrintReceipt::Answer::Unknown
                                                         : PrintReceipt::Answer::Waits;
    }
    ippDelete(answer);
    return receipt;
}

namespace {

// The jobs of an answer, each a group of its own; a name left out where the
// scheduler answered from its cache of finished jobs.
QVector<KnownJob> jobsIn(ipp_t *answer)
{
    QVector<KnownJob> jobs;
    KnownJob job;
    for (ipp_attribute_t *each = ippFirstAttribute(answer);; each = ippNextAttribute(answer)) {
        const char *name = each ? ippGetName(each) : nullptr;
        if (!name || ippGetGroupTag(each) != IPP_TAG_JOB) {
            if (job.id > 0)
                jobs.append(job);
            job = KnownJob();
            if (!each)
                return jobs;
        } else if (!std::strcmp(name, "job-id")) {
            job.id = ippGetInteger(each, 0);
        } else if (!std::strcmp(name, "job-name")) {
            job.title = QString::fromUtf8(ippGetString(each, 0, nullptr));
        }
    }
}

} // namespace

bool CupsPrinter::jobs(QVector<KnownJob> &jobs, QString &error)
{
    if (m_found.isEmpty() && !find(error))
        return false;
    CupsConnection connection(m_cancelled);
    if (!connection.open(error))
        return false;
    static const char *const wanted[] = {"job-id", "job-name"};
    const auto ask = [&](ipp_op_t operation, int id) {
        ipp_t *request = newRequest(operation, m_found);
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                      int(std::size(wanted)), nullptr, wanted);
        if (id > 0)
            ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
        ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
        ipp_t *answer = connection.ask(request);
        QVector<KnownJob> found = connection.refused() ? QVector<KnownJob>() : jobsIn(answer);
        ippDelete(answer);
        return found;
    };
    jobs = ask(IPP_OP_GET_JOBS, 0);
    // A job finished a moment ago, asked on its own, is read back whole.
    for (KnownJob &job : jobs) {
        if (job.title.isEmpty() && !connection.refused())
            job.title = ask(IPP_OP_GET_JOB_ATTRIBUTES, job.id).value(0).title;
    }
    if (connection.refused())
        error = connection.reason();
    return !connection.refused();
}
