#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Every caption and message the program sets or shows at run time.
enum class TextKey {
    CapQuitButton,
    CapPrintStartLabel,
    CapPortLabel,
    MsgUsage,
    MsgPortOpenFailed,
    MsgPortOpened,
    MsgNoPort,
    MsgSetupHelp,
    MsgPrintFailed,
};

inline const QString kGerman = QStringLiteral("ger");
inline const QString kEnglish = QStringLiteral("eng");

// The text of a key in a language; nothing for a language code other than
// "ger" or "eng", except for the keys with one wording for all.
std::optional<QString> lookupText(TextKey key, const QString &language);

// The platform's line ending used inside multi-line messages.
QString endOfLine();

// Lines joined by the platform's line ending, none at either end.
QString joinLines(const QStringList &lines);

// "Konnte Device nicht öffnen. Fehler " and the like, followed by the code.
std::optional<QString> portOpenFailedText(const QString &language, int errorCode);
