#pragma once

#include "HelpText.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

// A command-line program's options on QCommandLineParser, each described
// once: --help is made from the descriptions, --version from the program's
// name and version, and a usage error is one line and a pointer to --help.
class CommandLine {
public:
    // The usage lines, the text about the program, and what the help says
    // after the options, its exit status last; rows for the arguments (IN,
    // OUT) stand before the options.
    CommandLine(std::vector<std::string> usage, std::string about, std::string epilogue,
                std::vector<HelpRow> arguments = {});

    // An option with its value's name and its description.
    void add(const QCommandLineOption &option);
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
    HelpPage m_page;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
};
