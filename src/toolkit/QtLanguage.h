#pragma once

#include <QString>

// Qt's own texts (dialog titles, standard buttons, built-in menus) in the
// language of a locale name such as "de", from Qt's translations folder.
// Empty, "en", or a language Qt has no translations for: Qt's English. True
// when translations for the language are in force.
bool setQtLanguage(const QString &localeName);
