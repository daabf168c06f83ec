#pragma once

#include <QString>

// A count with its noun: "1 byte", "2 bytes", "0 lines".
inline QString counted(qint64 count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}
