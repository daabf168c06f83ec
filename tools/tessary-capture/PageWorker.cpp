#include "PageWorker.h"

#include "AtomicFile.h"
#include "LeftBehind.h"
#include "MissingFont.h"

#include "printjob/PrintJob.h"
#include "toolkit/Waiting.h"

#include <QBuffer>
#include <QDir>

// The one place where a job's pages are made.
PageResult PageWorker::make(PageOrder order) const
{
    PageResult result;
    result.order = std::move(order);
    const PageOrder &made = result.order;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    NoYield noTurns;
    const PrintOutcome outcome =
        PrintTextToPdf(made.job.bytes, &buffer, made.paper, noTurns, {}, m_charset);
    if (outcome.failed) {
        result.drawError = missingFontReason();
        return result;
    }
    result.sheets = outcome.sheets;
    if (made.use == PageUse::PdfFile)
        result.pdfPath = writePdfBeside(m_dir, made.name, buffer.data(), result.writeError);
    else
        result.pdf = buffer.data();
    return result;
}

// It touches nothing but the disk, so it is safe on the worker's thread.
QString writePdfBeside(const QString &dir, const QString &name, const QByteArray &pdf,
                       QString &error)
{
    const QString pdfPath = QDir(dir).filePath(name + QLatin1String(".pdf"));
    // A second signal ends the program at once: a PDF half written goes.
    AtomicFile file(QDir(dir).filePath(kTemporaryPrefix + "XXXXXX"));
    file.open(true);
    if (!file.isOpen() || !file.write(pdf)) {
        error = QStringLiteral("cannot write in %1: %2").arg(dir, file.errorString());
        return {};
    }
    switch (file.commit(pdfPath, AtomicFile::Naming::NeverReplace)) {
    case AtomicFile::Placed::Done:
        return pdfPath;
    case AtomicFile::Placed::Taken:
        error = QStringLiteral("%1 exists and is not overwritten").arg(pdfPath);
        break;
    case AtomicFile::Placed::Failed:
        error = QStringLiteral("cannot name %1: %2").arg(pdfPath, file.errorString());
        break;
    }
    return {};
}
