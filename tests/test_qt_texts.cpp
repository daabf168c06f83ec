#include "support/WindowRig.h"
#include "toolkit/QtLanguage.h"

#include <QDialogButtonBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QtTest>

namespace {

// What Qt's own print dialog shows: its title and the texts of its buttons.
struct PrintDialogTexts {
    QString title;
    QStringList buttons;
};

// Opens the real print dialog without blocking, reads it and cancels it.
PrintDialogTexts realPrintDialogTexts()
{
    QPrinter printer;
    QPrintDialog dialog(&printer);
    dialog.open();
    PrintDialogTexts texts;
    if (!QTest::qWaitFor([&] { return dialog.isVisible(); }))
        return texts;
    texts.title = dialog.windowTitle();
    for (const QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->isVisible())
            texts.buttons << button->text();
    }
    texts.buttons.sort();
    dialog.reject();
    return texts;
}

QString standardButtonText(QDialogButtonBox::StandardButton which)
{
    QDialogButtonBox box(which);
    return box.button(which)->text();
}

} // namespace

class QtTextsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { setQtLanguage(QString()); }

    void dialogsSpeakTheWindowsLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("pageSetupTitle");
        QTest::addColumn<QString>("cancel");

        QTest::newRow("ger") << "ger"
                             << "Drucken"
                             << QStringList {"&Drucken", "&Eigenschaften", "&Einstellungen >>",
                                             "Abbrechen"}
                             << "Seite einrichten"
                             << "Abbrechen";
        QTest::newRow("eng") << "eng"
                             << "Print"
                             << QStringList {"&Options >>", "&Print", "Cancel", "P&roperties"}
                             << "Page Setup"
                             << "Cancel";
        // German first, then a window in another language: nothing is left
        // over from the German one.
        QTest::newRow("ger, then unknown")
            << "xx"
            << "Print" << QStringList {"&Options >>", "&Print", "Cancel", "P&roperties"}
            << "Page Setup"
            << "Cancel";
    }
    void dialogsSpeakTheWindowsLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QString, title);
        QFETCH(QStringList, buttons);
        QFETCH(QString, pageSetupTitle);
        QFETCH(QString, cancel);

        WindowRig rig;
        if (language == QLatin1String("xx"))
            rig.openWindow(QStringLiteral("ger"));
        auto window = rig.openWindow(language);

        const PrintDialogTexts texts = realPrintDialogTexts();
        QCOMPARE(texts.title, title);
        QCOMPARE(texts.buttons, buttons);
        QPrinter printer;
        QCOMPARE(QPageSetupDialog(&printer).windowTitle(), pageSetupTitle);
        QCOMPARE(standardButtonText(QDialogButtonBox::Cancel), cancel);
    }

    void languageSwitchesBackAndForth()
    {
        QVERIFY(setQtLanguage(QStringLiteral("de")));
        QCOMPARE(standardButtonText(QDialogButtonBox::Cancel), QStringLiteral("Abbrechen"));
        QVERIFY(setQtLanguage(QStringLiteral("de"))); // again: still in force
        QCOMPARE(standardButtonText(QDialogButtonBox::Cancel), QStringLiteral("Abbrechen"));

        QVERIFY(!setQtLanguage(QStringLiteral("en")));
        QCOMPARE(standardButtonText(QDialogButtonBox::Cancel), QStringLiteral("Cancel"));

        QVERIFY(setQtLanguage(QStringLiteral("de")));
        QVERIFY(!setQtLanguage(QStringLiteral("tessary-none")));
        QCOMPARE(standardButtonText(QDialogButtonBox::Cancel), QStringLiteral("Cancel"));
    }
};

QTEST_MAIN(QtTextsTest)
#include "test_qt_texts.moc"
