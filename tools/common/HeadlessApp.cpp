#include "HeadlessApp.h"

#include <cstdio>
#include <malloc.h>

namespace {
// Qt's notes about the session it runs in mean nothing to someone printing
// a listing; its real warnings still get through.
QtMessageHandler qtHandler = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths:")))
        return;
    if (qtHandler)
        qtHandler(type, context, message);
}
} // namespace

void keepFreedMemory()
{
    // Qt's PDF engine allocates and frees a large buffer for every page;
    // keeping freed memory instead of handing it back saves page faults.
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TOP_PAD, 16 * 1024 * 1024);
}

HeadlessApp::HeadlessApp(int argc, char **argv, const QString &name)
{
    for (int i = 0; i < argc; ++i)
        m_arguments << QString::fromLocal8Bit(argv[i]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(quietHandler);
    m_qtArgv[0] = argv[0];
    m_app = std::make_unique<QGuiApplication>(m_qtArgc, m_qtArgv);
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSARY_VERSION));
}

HeadlessApp::~HeadlessApp() = default;

std::optional<QPageSize> paperNamed(const QString &name)
{
    if (name.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0)
        return QPageSize(QPageSize::A4);
    if (name.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0)
        return QPageSize(QPageSize::Letter);
    return std::nullopt;
}

void say(const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                 qUtf8Printable(text));
    std::fflush(stderr);
}
