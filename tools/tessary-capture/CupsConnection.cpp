#include "CupsConnection.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// How long the server may keep silent, in a connection or in an answer.
constexpr int kMostSilentSeconds = 5;

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Connects a socket, waiting at most the silent time; the reason when that
// fails.
QString tryConnect(int family, const sockaddr *address, socklen_t length)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return systemReason(errno);
    int error = ::connect(fd, address, length) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
        pollfd wait {fd, POLLOUT, 0};
        socklen_t size = sizeof error;
        error = ::poll(&wait, 1, kMostSilentSeconds * 1000) == 1 &&
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0
            ? error
            : ETIMEDOUT;
    }
    ::close(fd);
    if (error == ETIMEDOUT)
        return QStringLiteral("no answer within %1 s").arg(kMostSilentSeconds);
    return error == 0 ? QString() : systemReason(error);
}

// Why the server cannot be reached, in words that tell a missing socket, a
// file that is not one, a refused connection and a silent host apart;
// empty when it can be. libcups says "Host is down" for all of them.
QString unreachable(const char *server, int port)
{
    if (server[0] == '/') {
        struct stat info { };
        if (::stat(server, &info) != 0)
            return systemReason(errno);
        if (!S_ISSOCK(info.st_mode))
            return QStringLiteral("it is not a socket");
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, server, sizeof address.sun_path - 1);
        return tryConnect(AF_UNIX, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    }
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int lookup = ::getaddrinfo(server, QByteArray::number(port).constData(), &hints, &found);
    if (lookup != 0)
        return QString::fromLocal8Bit(::gai_strerror(lookup));
    QString reason;
    for (const addrinfo *each = found; each; each = each->ai_next) {
        reason = tryConnect(each->ai_family, each->ai_addr, each->ai_addrlen);
        if (reason.isEmpty())
            break;
    }
    ::freeaddrinfo(found);
    return reason;
}

// libcups asks this for a password; nobody is there to answer.
const char *noPassword(const char *, http_t *, const char *, const char *, void *)
{
    return nullptr;
}

} // namespace

CupsConnection::CupsConnection(const std::atomic<bool> &cancelled) : m_cancelled(cancelled) { }

CupsConnection::~CupsConnection()
{
    if (m_http)
        httpClose(m_http);
}

bool CupsConnection::open(QString &error)
{
    const char *server = cupsServer();
    m_server = QString::fromUtf8(server);
    if (server[0] != '/')
        m_server += QLatin1Char(':') + QString::number(ippPort());
    QString reason =
        m_cancelled ? QStringLiteral("the capture is ending") : unreachable(server, ippPort());
    if (reason.isEmpty()) {
        m_http = httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                              kMostSilentSeconds * 1000, nullptr);
        if (!m_http)
            reason = QString::fromUtf8(cupsLastErrorString());
    }
    if (!m_http) {
        error = QStringLiteral("cannot reach the CUPS server at %1: %2 (is CUPS running?)")
                    .arg(m_server, reason);
        return false;
    }
    httpSetTimeout(m_http, 1.0, stillWaiting, this);
    cupsSetPasswordCB2(noPassword, nullptr);
    return true;
}

int CupsConnection::stillWaiting(http_t *, void *self)
{
    auto *connection = static_cast<CupsConnection *>(self);
    // Called after each second without progress; a longer gap means
    // something moved in between.
    if (!connection->m_lastWait.isValid() || connection->m_lastWait.elapsed() > 1500)
        connection->m_idleSeconds = 0;
    connection->m_lastWait.start();
    if (connection->m_cancelled || ++connection->m_idleSeconds >= kMostSilentSeconds) {
        connection->m_gaveUp = true;
        return 0;
    }
    return 1;
}

ipp_t *CupsConnection::ask(ipp_t *request)
{
    m_gaveUp = false;
    ipp_t *response = cupsDoRequest(m_http, request, "/");
    answered(response);
    return response;
}

ipp_t *CupsConnection::send(ipp_t *request, const QString &resource, const QByteArray &document)
{
    m_gaveUp = false;
    const QByteArray path = resource.toUtf8();
    // The length is the request's and the document's together.
    http_status_t status = cupsSendRequest(m_http, request, path.constData(),
                                           ippLength(request) + size_t(document.size()));
    if (status == HTTP_STATUS_CONTINUE && ippGetState(request) == IPP_STATE_DATA)
        status = cupsWriteRequestData(m_http, document.constData(), size_t(document.size()));
    // An answer may come before the document went, as a refusal does.
    ipp_t *response = status <= HTTP_STATUS_CONTINUE || status == HTTP_STATUS_OK
        ? cupsGetResponse(m_http, path.constData())
        : nullptr;
    ippDelete(request);
    answered(response);
    if (!response && m_httpStatus < HTTP_STATUS_BAD_REQUEST)
        m_httpStatus = status;
    return response;
}

void CupsConnection::answered(ipp_t *response)
{
    m_status = response ? ippGetStatusCode(response) : cupsLastError();
    m_statusText = QString::fromUtf8(cupsLastErrorString());
    m_httpStatus = httpGetStatus(m_http);
    if (!response && m_status <= IPP_STATUS_OK_CONFLICTING)
        m_status = IPP_STATUS_ERROR_INTERNAL;
}

bool CupsConnection::refused() const
{
    return m_gaveUp || m_status > IPP_STATUS_OK_CONFLICTING;
}

QString CupsConnection::reason() const
{
    if (m_gaveUp && m_cancelled)
        return QStringLiteral("the capture is ending");
    if (m_gaveUp)
        return QStringLiteral("no answer from the CUPS server at %1 within %2 s")
            .arg(m_server)
            .arg(kMostSilentSeconds);
    if (m_httpStatus == HTTP_STATUS_UNAUTHORIZED || m_status == IPP_STATUS_ERROR_NOT_AUTHENTICATED)
        return QStringLiteral("authentication required");
    const bool saysNothing = m_statusText.isEmpty() ||
        m_statusText == QLatin1String(ippErrorString(IPP_STATUS_OK)) ||
        m_statusText == QLatin1String("Success");
    if (!saysNothing)
        return m_statusText;
    if (m_httpStatus >= HTTP_STATUS_BAD_REQUEST)
        return QString::fromUtf8(httpStatus(m_httpStatus));
    return QString::fromUtf8(ippErrorString(m_status));
}

bool CupsConnection::refusedForWhatItIs() const
{
    if (m_gaveUp)
        return false;
    if (m_httpStatus == HTTP_STATUS_REQUEST_TOO_LARGE)
        return true;
    switch (m_status) {
    case IPP_STATUS_ERROR_REQUEST_ENTITY:
    case IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED:
    case IPP_STATUS_ERROR_DOCUMENT_FORMAT_ERROR:
    case IPP_STATUS_ERROR_DOCUMENT_UNPRINTABLE:
    case IPP_STATUS_ERROR_COMPRESSION_NOT_SUPPORTED:
        return true;
    default:
        return false;
    }
}
