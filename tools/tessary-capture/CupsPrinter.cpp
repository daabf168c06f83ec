#include "CupsPrinter.h"

#include <QFileInfo>
#include <QSizeF>

#include <cups/cups.h>

#include <cerrno>
#include <cstring>

namespace {

// How long a server may take to answer before a job counts as not printed:
// a capture must never stall behind a printer.
constexpr int kConnectMs = 30000;
constexpr double kAnswerSeconds = 30;

QString lastCupsError()
{
    return QString::fromUtf8(cupsLastErrorString());
}

struct Connection {
    Connection()
    {
        http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                            kConnectMs, nullptr);
        if (http)
            httpSetTimeout(
                http, kAnswerSeconds, [](http_t *, void *) { return 0; }, nullptr);
    }
    ~Connection()
    {
        if (http)
            httpClose(http);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    http_t *http = nullptr;
};

// Why the server did not answer: libcups words a missing local socket as
// "Host is down"; the system's own words say more.
QString unreachable()
{
    QString server = QString::fromUtf8(cupsServer());
    QString reason = lastCupsError();
    if (!server.startsWith(QLatin1Char('/')))
        server += QLatin1Char(':') + QString::number(ippPort());
    else if (!QFileInfo::exists(server))
        reason = QString::fromLocal8Bit(std::strerror(ENOENT));
    return QStringLiteral("cannot reach the CUPS server at %1: %2").arg(server, reason);
}

std::optional<QPageSize> mediaDefault(http_t *http, cups_dest_t *dest)
{
    cups_dinfo_t *info = cupsCopyDestInfo(http, dest);
    if (!info)
        return std::nullopt;
    cups_size_t size {};
    const bool known = cupsGetDestMediaDefault(http, dest, info, 0, &size) != 0;
    cupsFreeDestInfo(info);
    if (!known || size.width <= 0 || size.length <= 0)
        return std::nullopt;
    // Hundredths of a millimetre; a standard size is known by its name.
    return QPageSize(QSizeF(size.width / 100.0, size.length / 100.0), QPageSize::Millimeter,
                     QString(), QPageSize::FuzzyMatch);
}

} // namespace

std::unique_ptr<CupsPrinter> CupsPrinter::find(const QString &name, QString &error)
{
    const Connection connection;
    if (!connection.http) {
        error = unreachable() + QStringLiteral("; is CUPS running?");
        return nullptr;
    }
    const QByteArray wanted = name.toUtf8();
    cups_dest_t *dest =
        cupsGetNamedDest(connection.http, name.isEmpty() ? nullptr : wanted.constData(), nullptr);
    if (!dest) {
        if (cupsLastError() == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE)
            error = unreachable() + QStringLiteral("; is CUPS running?");
        else if (name.isEmpty())
            error = QStringLiteral("--print: there is no default printer (%1); set one with "
                                   "'lpoptions -d NAME', or name a queue with --printer")
                        .arg(lastCupsError());
        else
            error = QStringLiteral("there is no printer queue \"%1\" (%2); 'lpstat -p' lists "
                                   "the queues")
                        .arg(name, lastCupsError());
        return nullptr;
    }
    return std::unique_ptr<CupsPrinter>(new CupsPrinter(dest, mediaDefault(connection.http, dest)));
}

CupsPrinter::CupsPrinter(cups_dest_s *dest, std::optional<QPageSize> defaultPaper)
    : m_dest(dest), m_name(QString::fromUtf8(dest->name)), m_defaultPaper(std::move(defaultPaper))
{ }

CupsPrinter::~CupsPrinter()
{
    cupsFreeDests(1, m_dest);
}

void CupsPrinter::setPaper(const QPageSize &paper)
{
    m_media = paper.id() == QPageSize::Letter ? QByteArrayLiteral("na_letter_8.5x11in")
                                              : QByteArrayLiteral("iso_a4_210x297mm");
}

PrintReceipt CupsPrinter::print(const QString &title, const QByteArray &pdf) const
{
    PrintReceipt receipt;
    receipt.queue = m_name;
    const Connection connection;
    if (!connection.http) {
        receipt.error = unreachable();
        return receipt;
    }
    cups_dinfo_t *info = cupsCopyDestInfo(connection.http, m_dest);
    if (!info) {
        receipt.error = lastCupsError();
        return receipt;
    }
    cups_option_t *options = nullptr;
    int optionCount = 0;
    if (!m_media.isEmpty())
        optionCount = cupsAddOption("media", m_media.constData(), optionCount, &options);
    const QByteArray name = title.toUtf8();
    int jobId = 0;
    if (cupsCreateDestJob(connection.http, m_dest, info, &jobId, name.constData(), optionCount,
                          options) > IPP_STATUS_OK_CONFLICTING) {
        receipt.error = lastCupsError();
    } else if (cupsStartDestDocument(connection.http, m_dest, info, jobId, name.constData(),
                                     CUPS_FORMAT_PDF, 0, nullptr, 1) != HTTP_STATUS_CONTINUE ||
               cupsWriteRequestData(connection.http, pdf.constData(), size_t(pdf.size())) !=
                   HTTP_STATUS_CONTINUE) {
        receipt.error = lastCupsError();
        cupsFinishDestDocument(connection.http, m_dest, info);
        cupsCancelDestJob(connection.http, m_dest, jobId);
    } else if (cupsFinishDestDocument(connection.http, m_dest, info) > IPP_STATUS_OK_CONFLICTING) {
        receipt.error = lastCupsError();
    } else {
        receipt.printed = true;
        receipt.jobId = jobId;
    }
    cupsFreeOptions(optionCount, options);
    cupsFreeDestInfo(info);
    return receipt;
}
