#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// How much a message matters, as the journal ranks it (sd-daemon's
// prefixes): what fails, what waits or is set aside, jobs, and news.
enum class Priority { Fails = 3, Waits = 4, Notice = 5, Info = 6 };

// "<N>" when `stream` is the journal (JOURNAL_STREAM names its device and
// inode), so that the line gets that priority; nothing on a terminal, a
// file or a pipe.
QByteArray journalPrefix(std::FILE *stream, Priority priority);

// Writes "program: text" and a line end to standard error.
void say(const QString &text, Priority priority = Priority::Fails);
