#pragma once

#include <QCommandLineParser>

#include <optional>

// A command-line program's options on QCommandLineParser, each described
// once. --help prints the usage lines, Qt's list of the options and
// arguments made from their descriptions, what else there is to say with
// the exit status last, and where the manual page is; --version the name
// and version; a usage error is one line and a pointer to --help.
class CommandLine {
public:
    // Both texts as they are printed, line ends included.
    CommandLine(QString usage, QString epilogue);

    void add(const QCommandLineOption &option) { m_parser.addOption(option); }
    QCommandLineParser &parser() { return m_parser; }

    // Reads the arguments, the program's name first. With --help or
    // --version, or a usage error, it has said so and gives the exit
    // status; otherwise nothing, and the values are in parser().
    std::optional<int> parse(const QStringList &arguments);
    // A usage error found in the values: one line, the pointer to --help,
    // and the exit status 2.
    int usageError(const QString &reason) const;

private:
    QCommandLineParser m_parser;
    QString m_usage;
    QString m_epilogue;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
};
