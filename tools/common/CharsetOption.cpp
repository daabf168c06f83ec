#include "CharsetOption.h"

#include <QStringList>

namespace {
const QString kName = QStringLiteral("charset");

QStringList names()
{
    QStringList all;
    for (const CharacterSetName &known : kCharacterSetNames)
        all << QString::fromLatin1(known.name.data(), qsizetype(known.name.size()));
    return all;
}
} // namespace

QCommandLineOption charsetOption()
{
    return QCommandLineOption(
        kName,
        QStringLiteral("what bytes above 127 are drawn as: pc1600 (default), the PC-1600's own "
                       "set, code page 437 (letters, Greek, signs, box and block graphics); or "
                       "latin1, ISO 8859-1"),
        QStringLiteral("SET"), names().first());
}

std::optional<CharacterSet> charsetOf(const QCommandLineParser &parser, QString &error)
{
    const QString given = parser.value(kName);
    const std::optional<CharacterSet> set = characterSetNamed(given.toStdString());
    if (!set)
        error = QStringLiteral("unknown character set \"%1\" (%2)")
                    .arg(given, names().join(QStringLiteral(" or ")));
    return set;
}
