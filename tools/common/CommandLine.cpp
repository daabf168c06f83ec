#include "CommandLine.h"

#include "HeadlessApp.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

namespace {
constexpr int kUsageError = 2;

std::string namesOf(const QCommandLineOption &option)
{
    std::string names;
    for (const QString &name : option.names()) {
        if (!names.empty())
            names += ", ";
        names += (name.size() == 1 ? "-" : "--") + name.toStdString();
    }
    // A long option alone lines up with those that have a short one.
    if (option.names().first().size() > 1 && option.names().size() == 1)
        names = "    " + names;
    if (!option.valueName().isEmpty())
        names += ' ' + option.valueName().toStdString();
    return names;
}
} // namespace

CommandLine::CommandLine(std::vector<std::string> usage, std::string about, std::string epilogue,
                         std::vector<HelpRow> arguments)
    : m_page {QCoreApplication::applicationName().toStdString(), std::move(usage), std::move(about),
              std::move(arguments), std::move(epilogue)},
      m_help({QStringLiteral("h"), QStringLiteral("help")},
             QStringLiteral("display this help and exit")),
      m_version(QStringLiteral("version"), QStringLiteral("output version information and exit"))
{
    // Qt's own options (-platform, ...) are the program's business here.
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

void CommandLine::add(const QCommandLineOption &option)
{
    m_parser.addOption(option);
    m_page.rows.push_back({namesOf(option), option.description().toStdString()});
}

std::optional<int> CommandLine::parse(const QStringList &arguments)
{
    add(m_help);
    add(m_version);
    if (!m_parser.parse(arguments)) {
        const QStringList unknown = m_parser.unknownOptionNames();
        if (unknown.isEmpty())
            return usageError(
                m_parser.errorText().remove(QRegularExpression(QStringLiteral("\\.$"))));
        // Named as it was given: "-platform" or "--fast".
        const QRegularExpression given(
            QStringLiteral("^--?%1(=.*)?$").arg(QRegularExpression::escape(unknown.first())));
        const QString typed =
            arguments.mid(1).filter(given).value(0).section(QLatin1Char('='), 0, 0);
        return usageError(QStringLiteral("unrecognized option '%1'").arg(typed));
    }
    if (m_parser.isSet(m_help)) {
        std::fputs(helpText(m_page).c_str(), stdout);
        return 0;
    }
    if (m_parser.isSet(m_version)) {
        std::printf("%s %s\n", m_page.program.c_str(),
                    qUtf8Printable(QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

int CommandLine::usageError(const QString &reason) const
{
    say(reason);
    std::fputs(tryHelp(m_page.program).c_str(), stderr);
    return kUsageError;
}
