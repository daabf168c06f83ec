#include "CommandLine.h"

#include "Say.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

CommandLine::CommandLine(QString usage, QString epilogue)
    : m_usage(std::move(usage)),
      m_epilogue(std::move(epilogue)),
      m_help({QStringLiteral("h"), QStringLiteral("help")},
             QStringLiteral("display this help and exit")),
      m_version(QStringLiteral("version"), QStringLiteral("output version information and exit"))
{
    // Qt's own options (-platform, ...) are the program's business here.
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

std::optional<int> CommandLine::parse(const QStringList &arguments)
{
    m_parser.addOptions({m_help, m_version});
    if (!m_parser.parse(arguments)) {
        const QStringList unknown = m_parser.unknownOptionNames();
        if (unknown.isEmpty())
            return usageError(m_parser.errorText().chopped(1)); // without Qt's full stop
        // Named as it was given: "-platform" or "--fast".
        const QRegularExpression given(
            QStringLiteral("^--?%1(=.*)?$").arg(QRegularExpression::escape(unknown.first())));
        const QString typed =
            arguments.mid(1).filter(given).value(0).section(QLatin1Char('='), 0, 0);
        return usageError(QStringLiteral("unrecognized option '%1'").arg(typed));
    }
    const QString program = QCoreApplication::applicationName();
    if (m_parser.isSet(m_help)) {
        // Qt's own usage line names the program by the path it was started by.
        const QString options = m_parser.helpText().section(QStringLiteral("\n\n"), 1);
        std::printf("%s\n%s\n%s\nFull documentation: man %s\n", qUtf8Printable(m_usage),
                    qUtf8Printable(options), qUtf8Printable(m_epilogue), qUtf8Printable(program));
        return 0;
    }
    if (m_parser.isSet(m_version)) {
        std::printf("%s %s\n", qUtf8Printable(program),
                    qUtf8Printable(QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

int CommandLine::usageError(const QString &reason) const
{
    say(reason);
    std::fprintf(stderr, "Try '%s --help' for more information.\n",
                 qUtf8Printable(QCoreApplication::applicationName()));
    return 2;
}
