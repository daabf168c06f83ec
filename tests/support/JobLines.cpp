#include "support/JobLines.h"

#include <QRegularExpression>

std::optional<JobLine> parseJobLine(const QString &line)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(.+\\.txt): (\\d+) bytes?, (\\d+) lines?, (\\d+) pages?(?:, ([^;]*))?(?:; (.*))?$"));
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return JobLine {match.captured(1),         match.captured(2).toLongLong(),
                    match.captured(3).toInt(), match.captured(4).toInt(),
                    match.captured(5),         match.captured(6)};
}

QStringList jobLinesIn(const QByteArray &err)
{
    QStringList lines;
    for (const QString &line : QString::fromUtf8(err).split(QLatin1Char('\n'))) {
        if (parseJobLine(line))
            lines << line;
    }
    return lines;
}
