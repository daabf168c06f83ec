#pragma once

#include "serial/LineSettings.h"

#include <QPageSize>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class Serial;

// What one run of tessary-capture is asked to do.
struct CaptureOptions {
    QString port;
    QString outDir;
    int quietMs = 2000;
    bool pdf = false;
    std::optional<QPageSize> paper; // --paper; otherwise the queue's default, or A4
    // --printer NAME or --print: each job goes to that CUPS queue, or to the
    // default destination when the name is empty.
    bool print = false;
    QString printer;
    bool once = false;
    // Each setting with the value the window's popup would store for it.
    QVector<QPair<LineSetting, int>> lineSettings;
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

// Parity codes beyond the window's popup.
constexpr int kSpaceParity = 3;
constexpr int kMarkParity = 4;

// Hands every line setting to the connection, to take effect at its open().
void applyLineSettings(const CaptureOptions &options, Serial &serial);
