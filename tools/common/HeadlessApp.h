#pragma once

#include "Say.h" // say() speaks with the name the application is given here

#include <QGuiApplication>
#include <QStringList>

#include <memory>

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
