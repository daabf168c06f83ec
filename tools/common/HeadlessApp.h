#pragma once

#include <QGuiApplication>
#include <QPageSize>
#include <QStringList>

#include <memory>
#include <optional>

// A Qt application for a command-line program that draws pages but shows
// nothing: it never looks for a display, whatever QT_QPA_PLATFORM, DISPLAY
// or WAYLAND_DISPLAY say, and leaves every argument to the program.
class HeadlessApp {
public:
    HeadlessApp(int argc, char **argv, const QString &name);
    ~HeadlessApp();

    // The program's arguments, the program name first; Qt took none of them.
    const QStringList &arguments() const { return m_arguments; }

private:
    int m_qtArgc = 1;
    char *m_qtArgv[2] = {nullptr, nullptr};
    std::unique_ptr<QGuiApplication> m_app;
    QStringList m_arguments;
};

// For a program that prints one job and ends: freed memory stays with the
// process, which makes Qt's PDF output quicker. Not for one that runs for
// hours, whose growing buffers would then keep every old copy.
void keepFreedMemory();

// "A4" or "Letter", in any case.
std::optional<QPageSize> paperNamed(const QString &name);

// Writes "program: text" and a line end to standard error.
void say(const QString &text);
