#pragma once

#include <QString>

// Writes "program: text" and a line end to standard error.
void say(const QString &text);
