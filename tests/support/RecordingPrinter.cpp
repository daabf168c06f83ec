#include "support/RecordingPrinter.h"

#include "toolkit/QtPrinting.h"

#include <QPrinter>

namespace {
// The fake graphics' measures, for counting sheets before the dialog.
class FakeMetrics : public PrinterMetrics {
public:
    explicit FakeMetrics(const RecordingPrintService &service) : m_service(service) { }
    void setTextStyle(const TextStyle &) override { }
    QSizeF printableSize() const override { return m_service.printable; }
    double textWidth(const QString &text) const override { return text.size() * m_service.advance; }
    double ascent() const override { return m_service.ascentPt; }
    double descent() const override { return m_service.descentPt; }

private:
    const RecordingPrintService &m_service;
};

class RecordingGraphics : public PrinterGraphics {
public:
    RecordingGraphics(RecordingPrintService &service, std::unique_ptr<PrinterGraphics> real)
        : m_service(service), m_real(std::move(real))
    { }
    ~RecordingGraphics() override
    {
        m_real.reset();
        m_service.calls << QStringLiteral("release");
    }

    void setTextStyle(const TextStyle &style) override
    {
        m_service.calls << QStringLiteral("setTextStyle");
        m_service.styles << style;
        if (m_real)
            m_real->setTextStyle(style);
    }
    QSizeF printableSize() const override
    {
        return m_real ? m_real->printableSize() : m_service.printable;
    }
    double textWidth(const QString &text) const override
    {
        return m_real ? m_real->textWidth(text) : text.size() * m_service.advance;
    }
    double ascent() const override { return m_real ? m_real->ascent() : m_service.ascentPt; }
    double descent() const override { return m_real ? m_real->descent() : m_service.descentPt; }
    void drawSheet(const Sheet &sheet) override
    {
        m_service.calls << QStringLiteral("drawSheet");
        m_service.sheets << sheet;
        if (m_real)
            m_real->drawSheet(sheet);
    }
    void nextPage() override
    {
        m_service.calls << QStringLiteral("nextPage");
        if (m_real)
            m_real->nextPage();
    }
    bool finish() override
    {
        m_service.calls << QStringLiteral("finish");
        const bool ok = m_real ? m_real->finish() : true;
        return ok && !m_service.failOnFinish;
    }

private:
    RecordingPrintService &m_service;
    std::unique_ptr<PrinterGraphics> m_real;
};

class RecordingSetup : public PrinterSetup {
public:
    explicit RecordingSetup(RecordingPrintService &service) : m_service(service) { }

    bool pageSetupDialog() override
    {
        m_service.calls << QStringLiteral("pageSetupDialog");
        return m_service.confirmPageSetup;
    }
    std::unique_ptr<PrinterGraphics> openPrinterDialog(const SheetCounter &countSheets) override
    {
        m_service.calls << QStringLiteral("openPrinterDialog");
        if (m_service.pdfPath.isEmpty()) {
            FakeMetrics metrics(m_service);
            m_service.offeredSheets << countSheets(metrics);
        } else {
            QtPrinterMetrics metrics(
                pdfPrinter(m_service.pdfPath, m_service.pdfPaper)->pageLayout());
            m_service.offeredSheets << countSheets(metrics);
        }
        if (!m_service.acceptPrintDialog)
            return nullptr;
        std::unique_ptr<PrinterGraphics> real;
        if (!m_service.pdfPath.isEmpty())
            real = printerGraphics(pdfPrinter(m_service.pdfPath, m_service.pdfPaper));
        if (!m_service.printerName.isEmpty()) {
            auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
            printer->setPrinterName(m_service.printerName);
            real = printerGraphics(printer);
        }
        return std::make_unique<RecordingGraphics>(m_service, std::move(real));
    }

private:
    RecordingPrintService &m_service;
};
} // namespace

std::unique_ptr<PrinterSetup> RecordingPrintService::newPrinterSetup()
{
    calls << QStringLiteral("newPrinterSetup");
    return std::make_unique<RecordingSetup>(*this);
}

QStringList RecordingPrintService::rowTexts() const
{
    QStringList texts;
    for (const Sheet &sheet : sheets) {
        for (const TextRow &row : sheet)
            texts << row.text;
    }
    return texts;
}
