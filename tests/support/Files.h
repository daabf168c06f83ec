#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a file holds; "<unreadable>" when it cannot be read, so a comparison
// with the expected bytes fails.
QByteArray contentOf(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);
// Every name in the folder, hidden ones (temporary files) and folders included.
QStringList namesIn(const QString &dir);

// Runs the event loop for that long.
void runEventLoop(int milliseconds);
