#pragma once

#include <QString>

#include <optional>

// The warning for a listing asked in `requested` but set in `resolved`,
// when that font's letters are not as wide as the requested ones; nothing
// when they are (or nothing is known about the requested family).
std::optional<QString> fontSubstituteWarning(const QString &requested, const QString &resolved);

// Writes that warning to standard error, the first time only.
void warnOnceAboutSubstitute(const QString &requested, const QString &resolved);

// Writes, the first time only, that `family` has no glyph for `characters`,
// which were left blank; nothing when there are none.
void warnOnceAboutMissingGlyphs(const QString &family, const QString &characters);
