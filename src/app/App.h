#pragma once

#include <QApplication>

// The application object: QApplication under the program's name as a person
// writes it, which titles its message boxes.
class App : public QApplication {
public:
    App(int &argc, char **argv) : QApplication(argc, argv)
    {
        setApplicationDisplayName(QStringLiteral("Tessary"));
    }
};
