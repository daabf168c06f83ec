#include "Say.h"

#include <QCoreApplication>

#include <cstdio>

void say(const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                 qUtf8Printable(text));
    std::fflush(stderr);
}
