#include "toolkit/QtLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

bool setQtLanguage(const QString &localeName)
{
    // One translator for the whole run, owned by the application.
    static QPointer<QTranslator> installed;
    static QString installedName;
    if (installed && installedName == localeName)
        return true;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installedName.clear();
    }
    if (localeName.isEmpty() || localeName == QLatin1String("en"))
        return false;

    auto translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_") + localeName,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installed = translator;
    installedName = localeName;
    return true;
}
