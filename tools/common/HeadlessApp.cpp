#include "HeadlessApp.h"

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
