#include "support/CupsServer.h"

#include "support/Files.h"
#include "support/Process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <cups/cups.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

namespace {
constexpr char kPdfDriver[] = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";
constexpr char kPassOn[] = "*cupsFilter: \"application/vnd.cups-pdf 0 -\"";
constexpr char kThroughGhostscript[] =
    "*cupsFilter2: \"application/vnd.cups-pdf application/pdf 0 gstopdf\"";

bool acceptsConnections(const QString &socketPath)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray path = socketPath.toLocal8Bit();
    if (size_t(path.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    ::close(fd);
    return connected;
}

QString jobStateName(int state)
{
    switch (state) {
    case IPP_JSTATE_PENDING:
        return QStringLiteral("pending");
    case IPP_JSTATE_HELD:
        return QStringLiteral("held");
    case IPP_JSTATE_PROCESSING:
        return QStringLiteral("processing");
    case IPP_JSTATE_STOPPED:
        return QStringLiteral("stopped");
    case IPP_JSTATE_CANCELED:
        return QStringLiteral("canceled");
    case IPP_JSTATE_ABORTED:
        return QStringLiteral("aborted");
    case IPP_JSTATE_COMPLETED:
        return QStringLiteral("completed");
    }
    return QStringLiteral("state %1").arg(state);
}

// A stopped job waits for a stopped queue, which nothing here starts again.
bool hasEnded(const CupsJob &job)
{
    return job.state == QLatin1String("completed") || job.state == QLatin1String("aborted") ||
        job.state == QLatin1String("canceled") || job.state == QLatin1String("stopped");
}

// A port nobody listens on now.
int freeTcpPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace

SilentServer::SilentServer(const QString &socketPath)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray path = socketPath.toLocal8Bit();
    if (size_t(path.size()) >= sizeof(address.sun_path))
        return;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0 ||
        ::listen(m_fd, 16) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

SilentServer::~SilentServer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

CupsServer::CupsServer(CupsServerSettings settings)
    : m_dir(QDir::tempPath() + QStringLiteral("/tessary-cups-XXXXXX")),
      m_settings(std::move(settings)),
      m_tcpPort(m_settings.tcp ? freeTcpPort() : 0)
{
    // The filters run as lp: they must reach the queues' PPDs and the
    // spool below this folder.
    if (m_dir.isValid())
        QFile::setPermissions(m_dir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                  QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                  QFileDevice::ExeOther);
}

CupsServer::~CupsServer()
{
    stop();
}

QString CupsServer::socketPath() const
{
    return m_dir.filePath(QStringLiteral("cups.sock"));
}

QString CupsServer::tcpAddress() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_tcpPort);
}

QString CupsServer::outputOf(const QString &name) const
{
    return m_dir.filePath(name + QStringLiteral(".pdf"));
}

QProcessEnvironment CupsServer::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVER"), socketPath());
    environment.remove(QStringLiteral("LPDEST"));
    environment.remove(QStringLiteral("PRINTER"));
    return environment;
}

void CupsServer::useInThisProcess() const
{
    qputenv("CUPS_SERVER", socketPath().toLocal8Bit());
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
}

bool CupsServer::failed(const QString &why)
{
    // QtTest cuts a message at about 1000 characters: the server's errors
    // first, then its last words, without their time stamps.
    static const QRegularExpression stamp(QStringLiteral("^([A-Z]) \\[[^]]*\\] "));
    QStringList errors;
    QStringList others;
    for (const char *name : {"error_log", "cupsd.out"}) {
        QFile log(m_dir.filePath(QLatin1String(name)));
        if (!log.open(QIODevice::ReadOnly))
            continue;
        for (QString line : QString::fromLocal8Bit(log.readAll()).split(QChar('\n'))) {
            line.replace(stamp, QStringLiteral("\\1 "));
            if (!line.isEmpty())
                (line.startsWith(QLatin1String("E ")) ? errors : others) << line;
        }
    }
    const QStringList tail =
        errors.mid(qMax(0, errors.size() - 4)) + others.mid(qMax(0, others.size() - 6));
    m_error = why;
    if (!tail.isEmpty())
        m_error +=
            QStringLiteral("\nthe server's log (%1):\n").arg(m_dir.path()) + tail.join(QChar('\n'));
    return false;
}

bool CupsServer::writeConfiguration()
{
    const QString dir = m_dir.path();
    QByteArray cupsd = "Listen " + socketPath().toLocal8Bit() +
        "\n"
        "WebInterface No\n"
        "Browsing No\n"
        "LogLevel info\n"
        // A failing job shows as aborted; the queue goes on.
        "ErrorPolicy abort-job\n"
        "<Location />\n"
        "  Order allow,deny\n"
        "  Allow all\n"
        "</Location>\n";
    if (m_tcpPort > 0)
        cupsd += "Listen 127.0.0.1:" + QByteArray::number(m_tcpPort) + "\n";
    if (m_limitRequestBody > 0)
        cupsd += "LimitRequestBody " + QByteArray::number(m_limitRequestBody) + "\n";
    if (!m_settings.passwordQueue.isEmpty())
        cupsd += "<Location /printers/" + m_settings.passwordQueue.toUtf8() +
            ">\n"
            "  AuthType Basic\n"
            "  Require user tessary-nobody\n"
            "  Order allow,deny\n"
            "  Allow all\n"
            "</Location>\n";
    QByteArray files;
    const auto set = [&files, &dir](const char *key, const QString &name) {
        files += QByteArray(key) + ' ' + (dir + '/' + name).toLocal8Bit() + '\n';
    };
    set("ServerRoot", QString());
    set("RequestRoot", QStringLiteral("spool"));
    set("CacheDir", QStringLiteral("cache"));
    set("StateDir", QStringLiteral("state"));
    set("AccessLog", QStringLiteral("access_log"));
    set("ErrorLog", QStringLiteral("error_log"));
    set("PageLog", QStringLiteral("page_log"));
    // Its default lies in /run/cups, the machine's.
    set("Printcap", QStringLiteral("printcap"));
    files += "FileDevice Yes\n"
             "User lp\n"
             "Group lp\n"
             "DataDir /usr/share/cups\n"
             "ServerBin /usr/lib/cups\n";
    return writeFile(m_dir.filePath(QStringLiteral("cupsd.conf")), cupsd) &&
        writeFile(m_dir.filePath(QStringLiteral("cups-files.conf")), files);
}

bool CupsServer::start()
{
    if (isRunning())
        return true;
    m_error.clear();
    if (!m_dir.isValid())
        return failed(QStringLiteral("no temporary folder: ") + m_dir.errorString());
    if (::geteuid() != 0)
        return failed(QStringLiteral("the private CUPS server needs root (cupsd hands its "
                                     "filters to user lp); this runs as uid %1")
                          .arg(::geteuid()));
    const QString cupsd =
        QStandardPaths::findExecutable(QStringLiteral("cupsd"), {QStringLiteral("/usr/sbin")});
    if (cupsd.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("lpadmin")).isEmpty() ||
        !QFile::exists(QLatin1String(kPdfDriver)))
        return failed(QStringLiteral("cupsd, lpadmin or the generic PDF driver is missing: "
                                     "install cups, cups-client and cups-filters "
                                     "(scripts/deps.sh)"));
    if (socketPath().toLocal8Bit().size() >= int(sizeof(sockaddr_un::sun_path)))
        return failed(QStringLiteral("socket path too long: ") + socketPath());
    if (!writeConfiguration())
        return failed(QStringLiteral("cannot write the configuration in ") + m_dir.path());

    m_cupsd = std::make_unique<QProcess>();
    m_cupsd->setProcessEnvironment(environment());
    m_cupsd->setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd->setStandardOutputFile(m_dir.filePath(QStringLiteral("cupsd.out")), QIODevice::Append);
    // No scheduler outlives a test that crashed or was killed.
    m_cupsd->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_cupsd->start(cupsd,
                   {QStringLiteral("-f"), QStringLiteral("-c"),
                    m_dir.filePath(QStringLiteral("cupsd.conf")), QStringLiteral("-s"),
                    m_dir.filePath(QStringLiteral("cups-files.conf"))});
    if (!m_cupsd->waitForStarted(10000)) {
        const QString why = m_cupsd->errorString();
        m_cupsd.reset();
        return failed(QStringLiteral("cupsd did not start: ") + why);
    }
    if (!awaitScheduler()) {
        const QString why = m_error;
        stop();
        return failed(why);
    }
    return true;
}

bool CupsServer::awaitScheduler()
{
    QDeadlineTimer deadline(60000);
    while (!acceptsConnections(socketPath())) {
        // Waiting for it to end is the pause between two tries.
        if (m_cupsd->waitForFinished(50) || m_cupsd->state() == QProcess::NotRunning) {
            m_error = QStringLiteral("cupsd ended with status %1 before it accepted connections")
                          .arg(m_cupsd->exitCode());
            return false;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("cupsd did not accept connections within 60 s");
            return false;
        }
    }
    ProcessOptions options;
    options.environment = environment();
    const ProcessResult status =
        runProcess(QStringLiteral("lpstat"), {QStringLiteral("-r")}, options);
    if (status.exitCode != 0 || !status.out.contains("scheduler is running")) {
        m_error = QStringLiteral("lpstat -r: ") + QString::fromLocal8Bit(status.out + status.err);
        return false;
    }
    return true;
}

void CupsServer::stop()
{
    if (!m_cupsd)
        return;
    if (m_cupsd->state() != QProcess::NotRunning) {
        m_cupsd->terminate();
        if (!m_cupsd->waitForFinished(30000)) {
            m_cupsd->kill();
            m_cupsd->waitForFinished(10000);
        }
    }
    m_cupsd.reset();
}

bool CupsServer::isRunning() const
{
    return m_cupsd && m_cupsd->state() == QProcess::Running;
}

bool CupsServer::run(const QString &program, const QStringList &arguments)
{
    ProcessOptions options;
    options.environment = environment();
    const ProcessResult result = runProcess(program, arguments, options);
    if (result.exitCode == 0)
        return true;
    return failed(QStringLiteral("%1 %2 ended with status %3: %4")
                      .arg(program, arguments.join(QChar(' ')))
                      .arg(result.exitCode)
                      .arg(QString::fromLocal8Bit(result.err + result.out).trimmed()));
}

bool CupsServer::addQueue(const QString &name, const QStringList &options)
{
    // Debian's generic PDF printer hands a PDF job on after pdftopdf alone;
    // this copy of its driver has Ghostscript read and rewrite every page
    // (gstopdf), as the filters of most real printers have it.
    QByteArray driver = contentOf(QLatin1String(kPdfDriver));
    if (!driver.contains(kPassOn))
        return failed(QStringLiteral("%1 has no line %2").arg(kPdfDriver, kPassOn));
    driver.replace(kPassOn, kThroughGhostscript);
    const QString driverPath = m_dir.filePath(QStringLiteral("ghostscript-pdf.ppd"));
    if (!writeFile(driverPath, driver))
        return failed(QStringLiteral("cannot write ") + driverPath);
    return run(QStringLiteral("lpadmin"),
               QStringList {QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                            QStringLiteral("file://") + outputOf(name), QStringLiteral("-P"),
                            driverPath} +
                   options);
}

bool CupsServer::setDefault(const QString &name)
{
    return run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), name});
}

bool CupsServer::reject(const QString &name)
{
    return run(QStringLiteral("cupsreject"), {name});
}

bool CupsServer::removeQueue(const QString &name)
{
    return run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
}

namespace {

// One job's id, name and state from a response's attributes, or the jobs
// of a Get-Jobs answer, each its own group.
QList<CupsJob> jobsIn(ipp_t *response)
{
    QList<CupsJob> jobs;
    CupsJob job;
    for (ipp_attribute_t *attribute = ippFirstAttribute(response); attribute;
         attribute = ippNextAttribute(response)) {
        const char *name = ippGetName(attribute);
        if (!name || ippGetGroupTag(attribute) != IPP_TAG_JOB) {
            if (job.id > 0)
                jobs << job;
            job = CupsJob();
            continue;
        }
        if (!std::strcmp(name, "job-id"))
            job.id = ippGetInteger(attribute, 0);
        else if (!std::strcmp(name, "job-name"))
            job.title = QString::fromUtf8(ippGetString(attribute, 0, nullptr));
        else if (!std::strcmp(name, "job-state"))
            job.state = jobStateName(ippGetInteger(attribute, 0));
    }
    if (job.id > 0)
        jobs << job;
    return jobs;
}

ipp_t *jobRequest(ipp_op_t operation, const QByteArray &printerUri)
{
    ipp_t *request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 printerUri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    return request;
}

} // namespace

QList<CupsJob> CupsServer::jobs(const QString &queue)
{
    QList<CupsJob> jobs;
    // Asked directly on the socket, whatever this process's CUPS_SERVER says.
    http_t *http = httpConnect2(socketPath().toLocal8Bit().constData(), 0, nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_NEVER, 1, 10000, nullptr);
    if (!http) {
        failed(QStringLiteral("cannot connect to ") + socketPath());
        return jobs;
    }
    const QByteArray uri = "ipp://localhost/printers/" + queue.toUtf8();
    ipp_t *request = jobRequest(IPP_OP_GET_JOBS, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "all");
    ipp_t *response = cupsDoRequest(http, request, "/");
    if (!response || ippGetStatusCode(response) > IPP_STATUS_OK_CONFLICTING)
        failed(QStringLiteral("Get-Jobs for %1: %2").arg(queue, cupsLastErrorString()));
    else
        jobs = jobsIn(response);
    ippDelete(response);
    // A job finished a moment ago is answered from the scheduler's cache,
    // without its name; asked on its own, the job is read back whole.
    for (CupsJob &job : jobs) {
        if (!job.title.isEmpty())
            continue;
        ipp_t *one = jobRequest(IPP_OP_GET_JOB_ATTRIBUTES, uri);
        ippAddInteger(one, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job.id);
        ipp_t *answer = cupsDoRequest(http, one, "/");
        job.title = jobsIn(answer).value(0).title;
        ippDelete(answer);
    }
    httpClose(http);
    std::sort(jobs.begin(), jobs.end(),
              [](const CupsJob &a, const CupsJob &b) { return a.id < b.id; });
    return jobs;
}

bool CupsServer::waitForCompleted(const QString &queue, int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QList<CupsJob> seen;
    for (;;) {
        seen = jobs(queue);
        const auto ended = std::count_if(seen.begin(), seen.end(), hasEnded);
        if (ended >= count) {
            const auto completed = std::count_if(seen.begin(), seen.end(), [](const CupsJob &job) {
                return job.state == "completed";
            });
            if (completed >= count)
                return true;
            break;
        }
        if (deadline.hasExpired() || !isRunning())
            break;
        runEventLoop(100);
    }
    QStringList states;
    for (const CupsJob &job : seen)
        states << QStringLiteral("%1 \"%2\" %3").arg(job.id).arg(job.title, job.state);
    return failed(QStringLiteral("waited for %1 completed jobs on %2; it has: %3")
                      .arg(count)
                      .arg(queue, states.isEmpty() ? QStringLiteral("none") : states.join(", ")));
}
