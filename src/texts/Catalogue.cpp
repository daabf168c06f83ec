#include "texts/Catalogue.h"

namespace {

struct Entry {
    TextKey key;
    // Empty lists mean "the German text serves both languages".
    QStringList german;
    QStringList english;
};

// Multi-line entries hold one list item per line.
const QVector<Entry> &catalogue()
{
    static const QVector<Entry> entries = {
        {TextKey::CapQuitButton, {QStringLiteral("Ende")}, {QStringLiteral("Cancel")}},
        {TextKey::CapPrintStartLabel,
         {QStringLiteral("Druck Start")},
         {QStringLiteral("Print Start")}},
        {TextKey::CapPortLabel,
         {QStringLiteral("Seriellen Port wählen")},
         {QStringLiteral("Choose serial port")}},
        {TextKey::MsgUsage,
         {QStringLiteral("            Anwendung :"),
          QStringLiteral(" Erst LPRINT, LLIST oder LFILES Befehl "),
          QStringLiteral("am PC-1600 starten, dann Print Button"),
          QStringLiteral("                 drücken !")},
         {QStringLiteral("      How to use the Application :"),
          QStringLiteral("  First enter LPRINT, LLIST or LFILES  "),
          QStringLiteral("on PC-1600 then press the Print Button")}},
        {TextKey::MsgPortOpenFailed,
         {QStringLiteral("Konnte Device nicht öffnen. Fehler ")},
         {QStringLiteral("Could not open serial port. Error ")}},
        {TextKey::MsgPortOpened,
         {QStringLiteral("Serial Port geöffnet.")},
         {QStringLiteral("Opened serial port.")}},
        {TextKey::MsgNoPort, {QStringLiteral("Serieller Port nicht vorhanden !")}, {}},
        {TextKey::MsgSetupHelp,
         {QStringLiteral("PC-1600 :"), QString(), QStringLiteral("10 SETCOM 'COM1:',9600,8,N,1"),
          QStringLiteral("20 INIT 'COM1:',512"), QStringLiteral("30 SNDSTAT 'COM1:',59"),
          QStringLiteral("40 RCVSTAT 'COM1:',61"), QStringLiteral("50 OUTSTAT 'COM1:',0"),
          QStringLiteral("60 PCONSOLE 'COM1:',255,2"), QStringLiteral("70 SETDEV 'COM1:',PO,KI"),
          QStringLiteral("80 KEYSTAT 1")},
         {}},
        {TextKey::MsgPrintFailed,
         {QStringLiteral("Drucken fehlgeschlagen. Print druckt den Text noch einmal.")},
         {QStringLiteral("Printing failed. Print prints the text again.")}},
    };
    return entries;
}

const Entry *find(TextKey key)
{
    for (const Entry &entry : catalogue()) {
        if (entry.key == key)
            return &entry;
    }
    return nullptr;
}

} // namespace

QString endOfLine()
{
#ifdef Q_OS_WIN
    return QStringLiteral("\r\n");
#else
    return QStringLiteral("\n");
#endif
}

QString joinLines(const QStringList &lines)
{
    return lines.join(endOfLine());
}

std::optional<QString> lookupText(TextKey key, const QString &language)
{
    const Entry *entry = find(key);
    if (!entry)
        return std::nullopt;
    const bool oneWording = entry->english.isEmpty();
    if (language == kGerman || (oneWording))
        return joinLines(entry->german);
    if (language == kEnglish)
        return joinLines(entry->english);
    return std::nullopt;
}

std::optional<QString> portOpenFailedText(const QString &language, int errorCode)
{
    const std::optional<QString> prefix = lookupText(TextKey::MsgPortOpenFailed, language);
    if (!prefix)
        return std::nullopt;
    return *prefix + QString::number(errorCode);
}
