#include "toolkit/Printing.h"

namespace {
class DialoglessSetup : public PrinterSetup {
public:
    explicit DialoglessSetup(const DialoglessPrintService::GraphicsMaker &makeGraphics)
        : m_makeGraphics(makeGraphics)
    { }
    bool pageSetupDialog() override { return true; }
    std::unique_ptr<PrinterGraphics> openPrinterDialog(const SheetCounter &) override
    {
        return m_makeGraphics();
    }

private:
    DialoglessPrintService::GraphicsMaker m_makeGraphics;
};
} // namespace

std::unique_ptr<PrinterSetup> DialoglessPrintService::newPrinterSetup()
{
    return std::make_unique<DialoglessSetup>(m_makeGraphics);
}
