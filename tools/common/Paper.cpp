#include "Paper.h"

std::optional<QPageSize> paperNamed(const QString &name)
{
    if (name.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0)
        return QPageSize(QPageSize::A4);
    if (name.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0)
        return QPageSize(QPageSize::Letter);
    return std::nullopt;
}
