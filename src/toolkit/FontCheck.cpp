#include "toolkit/FontCheck.h"

#include <QCoreApplication>
#include <QStringList>

#include <atomic>
#include <cstdio>

namespace {
// Families drawn to Helvetica's widths, so 62 lines wrap where they would on
// the original.
const QStringList kHelveticaCompatible = {
    QStringLiteral("Helvetica"),
    QStringLiteral("Nimbus Sans"),
    QStringLiteral("Liberation Sans"),
    QStringLiteral("Arimo"),
};

bool startsWithAny(const QString &family, const QStringList &prefixes)
{
    for (const QString &prefix : prefixes) {
        if (family.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}
} // namespace

std::optional<QString> fontSubstituteWarning(const QString &requested, const QString &resolved)
{
    if (requested.compare(QLatin1String("Helvetica"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    if (startsWithAny(resolved, kHelveticaCompatible))
        return std::nullopt;
    return QStringLiteral("warning: Helvetica is printed in \"%1\", which is not as wide as "
                          "Helvetica, so lines wrap elsewhere; install fonts-urw-base35 "
                          "(Nimbus Sans) for the right widths")
        .arg(resolved.isEmpty() ? QStringLiteral("no font") : resolved);
}

namespace {
void warn(const QString &warning)
{
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                 qUtf8Printable(warning));
}
} // namespace

void warnOnceAboutSubstitute(const QString &requested, const QString &resolved)
{
    static std::atomic_bool warned {false};
    const std::optional<QString> warning = fontSubstituteWarning(requested, resolved);
    if (!warning || warned.exchange(true))
        return;
    warn(*warning);
}

void warnOnceAboutMissingGlyphs(const QString &family, const QString &characters)
{
    static std::atomic_bool warned {false};
    if (characters.isEmpty() || warned.exchange(true))
        return;
    warn(QStringLiteral("warning: \"%1\" has no glyph for %2, printed as a blank; "
                        "fonts-urw-base35 (Nimbus Sans) has them all")
             .arg(family, characters));
}
