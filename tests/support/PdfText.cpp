#include "support/PdfText.h"

#include "support/Process.h"

#include <QRegularExpression>
#include <QStandardPaths>

bool pdfToolsPresent()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

QStringList pdfPages(const QString &pdfPath)
{
    const ProcessResult run = runProcess(QStringLiteral("pdftotext"),
                                         {QStringLiteral("-layout"), pdfPath, QStringLiteral("-")});
    if (run.exitCode != 0)
        return {};
    QStringList pages = QString::fromUtf8(run.out).split(QChar('\f'));
    // pdftotext ends the last page with a form feed too.
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

namespace {
QString unescaped(QString html)
{
    html.replace(QLatin1String("&lt;"), QLatin1String("<"));
    html.replace(QLatin1String("&gt;"), QLatin1String(">"));
    html.replace(QLatin1String("&quot;"), QLatin1String("\""));
    html.replace(QLatin1String("&apos;"), QLatin1String("'"));
    return html.replace(QLatin1String("&amp;"), QLatin1String("&"));
}
} // namespace

QList<PdfWord> pdfWords(const QString &pdfPath)
{
    const ProcessResult run = runProcess(QStringLiteral("pdftotext"),
                                         {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")});
    QList<PdfWord> words;
    if (run.exitCode != 0)
        return words;
    static const QRegularExpression tag(
        QStringLiteral("<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                       "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    int page = -1;
    auto matches = tag.globalMatch(QString::fromUtf8(run.out));
    while (matches.hasNext()) {
        const QRegularExpressionMatch m = matches.next();
        if (m.captured(0).startsWith(QLatin1String("<page"))) {
            ++page;
            continue;
        }
        const QRectF box(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                         QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
        words.append({page, box, unescaped(m.captured(5))});
    }
    return words;
}

namespace {
QString pdfInfoField(const QString &pdfPath, const QString &field)
{
    const ProcessResult run = runProcess(QStringLiteral("pdfinfo"), {pdfPath});
    if (run.exitCode != 0)
        return {};
    for (const QString &line : QString::fromUtf8(run.out).split(QChar('\n'))) {
        if (line.startsWith(field + QLatin1Char(':')))
            return line.mid(field.size() + 1).trimmed();
    }
    return {};
}
} // namespace

int pdfPageCount(const QString &pdfPath)
{
    bool ok = false;
    const int pages = pdfInfoField(pdfPath, QStringLiteral("Pages")).toInt(&ok);
    return ok ? pages : -1;
}

QString pdfPageSize(const QString &pdfPath)
{
    return pdfInfoField(pdfPath, QStringLiteral("Page size"));
}

QStringList nonEmptyLines(const QString &page)
{
    QStringList lines;
    for (const QString &line : page.split(QChar('\n'))) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    return lines;
}

QString withoutSpaces(QString text)
{
    static const QRegularExpression space(QStringLiteral("\\s"));
    text.remove(space);
    return text;
}
