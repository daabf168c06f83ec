#pragma once

#include <QPageSize>
#include <QString>

#include <optional>

// "A4" or "Letter", in any case.
std::optional<QPageSize> paperNamed(const QString &name);
