#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// One job line of tessary-capture: "DIR/NAME.txt: B bytes, L lines, P pages",
// then where it was printed or why not, then a hint.
struct JobLine {
    QString path;
    qint64 bytes = -1;
    int lines = -1;
    int pages = -1;
    QString went; // where it was printed, or why not
    QString hint; // after "; "
};

std::optional<JobLine> parseJobLine(const QString &line);
// The job lines among a program's messages on standard error.
QStringList jobLinesIn(const QByteArray &err);
