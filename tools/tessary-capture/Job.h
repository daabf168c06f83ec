#pragma once

#include <QByteArray>
#include <QDateTime>

// Everything that arrived between two quiet times.
struct Job {
    QByteArray bytes;
    QDateTime firstByte; // local time
};
