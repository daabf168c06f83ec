#pragma once

#include "serial/LineSettings.h"

#include <QString>

#include <optional>

class CommandLine;
class QCommandLineParser;

// The options that set the line (--baud, --bits, --parity, --stop, --dtr,
// --cts, --xon), each taking the words of the window's popup behind it.
void addLineSettingOptions(CommandLine &line);

// Sets on `settings` what the options given ask for; the usage error of
// the first one that asks for a word it does not take.
std::optional<QString> readLineSettingOptions(const QCommandLineParser &parser,
                                              LineSettings &settings);
