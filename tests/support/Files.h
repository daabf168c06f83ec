#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>

// What a file holds; "<unreadable>" when it cannot be read, so a comparison
// with the expected bytes fails.
QByteArray contentOf(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);
// The lines written to an open file so far, empty ones left out; writing
// goes on at its end.
QStringList linesWrittenTo(std::FILE *file);
// Every name in the folder, hidden ones (temporary files) and folders included.
QStringList namesIn(const QString &dir);

// Runs the event loop for that long.
void runEventLoop(int milliseconds);
