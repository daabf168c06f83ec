#include "PrintPages.h"

#include "OwnFile.h"

#include <QDir>
#include <QFileInfo>

PrintPages::PrintPages(const QString &dir, CharacterSet charset)
    : m_dir(dir), m_charset(charset), m_worker(dir, charset)
{
    m_worker.setHandlers(
        [this](const PageResult &result) {
            if (onReady)
                onReady(result.order.name, result.pdf,
                        result.drawError.isEmpty()
                            ? QString()
                            : QStringLiteral("no pages made: ") + result.drawError);
        },
        {});
}

void PrintPages::make(const QString &name, const QPageSize &paper)
{
    const QString base = QDir(m_dir).filePath(name);
    QString error;
    if (QFileInfo::exists(base + QLatin1String(".pdf"))) {
        const QByteArray pdf = OwnFile::read(base + QLatin1String(".pdf"), error);
        if (error.isEmpty() && !pdf.isEmpty())
            return onReady(name, pdf, {});
        error.clear();
    }
    const QByteArray text = OwnFile::read(base + QLatin1String(".txt"), error);
    if (!error.isEmpty() || text.isEmpty())
        return onReady(
            name, {},
            QStringLiteral("%1.txt %2")
                .arg(base,
                     error.isEmpty() ? QStringLiteral("is empty") : "cannot be read: " + error));
    m_worker.add({{text, {}}, name, paper, PageUse::Print});
}

QString PrintPages::byHand(const QString &name, const QString &printer) const
{
    const QString lp =
        printer.isEmpty() ? QStringLiteral("lp") : QStringLiteral("lp -d ") + printer;
    const QString base = QDir(m_dir).filePath(name);
    if (QFileInfo::exists(base + QLatin1String(".pdf")))
        return lp + QLatin1Char(' ') + base + QLatin1String(".pdf");
    const QString charset =
        m_charset == CharacterSet::Latin1 ? QStringLiteral("--charset latin1 ") : QString();
    return QStringLiteral("tessary-print %1%2.txt - | %3").arg(charset, base, lp);
}
