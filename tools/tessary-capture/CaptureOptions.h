#pragma once

#include "serial/LineSettings.h"
#include "toolkit/CharacterSet.h"

#include <QPageSize>
#include <QString>
#include <QStringList>

#include <optional>

// The silence that ends a job when --quiet-ms does not say.
constexpr int kDefaultQuietMs = 2000;

// What one run of tessary-capture is asked to do.
struct CaptureOptions {
    QString port;
    QString outDir;
    int quietMs = kDefaultQuietMs;
    bool pdf = false;
    std::optional<QPageSize> paper; // --paper; otherwise the queue's default, or A4
    CharacterSet charset = CharacterSet::Pc1600; // what the pages draw bytes as
    // --printer NAME or --print: each job goes to that CUPS queue, or to the
    // default destination when the name is empty.
    bool print = false;
    QString printer;
    // --print-suspect: a job that looks like wrong line settings is printed too.
    bool printSuspect = false;
    bool once = false;
    // The line as the window's popups would set it up.
    LineSettings lineSettings;
};

// Exit: --help, --version or a usage error was answered; the program ends
// with exitStatus.
enum class CaptureAction { Capture, ListPorts, Exit };

struct CaptureCommand {
    CaptureAction action = CaptureAction::Exit;
    int exitStatus = 0;
    CaptureOptions options;
};

// Reads the arguments, the program name first.
CaptureCommand parseCaptureCommand(const QStringList &arguments);
