#include "support/LineFields.h"
#include "support/WindowRig.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kUsageGerman =
    QStringList {QString::fromUtf8("            Anwendung :"),
                 QString::fromUtf8(" Erst LPRINT, LLIST oder LFILES Befehl "),
                 QString::fromUtf8("am PC-1600 starten, dann Print Button"),
                 QString::fromUtf8("                 drücken !")}
        .join(QLatin1Char('\n'));

const QString kUsageEnglish =
    QStringList {QStringLiteral("      How to use the Application :"),
                 QStringLiteral("  First enter LPRINT, LLIST or LFILES  "),
                 QStringLiteral("on PC-1600 then press the Print Button")}
        .join(QLatin1Char('\n'));

const QString kSetupHelp = QStringList {QStringLiteral("PC-1600 :"),
                                        QString(),
                                        QStringLiteral("10 SETCOM 'COM1:',9600,8,N,1"),
                                        QStringLiteral("20 INIT 'COM1:',512"),
                                        QStringLiteral("30 SNDSTAT 'COM1:',59"),
                                        QStringLiteral("40 RCVSTAT 'COM1:',61"),
                                        QStringLiteral("50 OUTSTAT 'COM1:',0"),
                                        QStringLiteral("60 PCONSOLE 'COM1:',255,2"),
                                        QStringLiteral("70 SETDEV 'COM1:',PO,KI"),
                                        QStringLiteral("80 KEYSTAT 1")}
                               .join(QLatin1Char('\n'));

const QString kNoPort = QStringLiteral("Serieller Port nicht vorhanden !");

struct Captions {
    QString quit;
    QString printStart;
    QString port;
    bool operator==(const Captions &o) const
    {
        return quit == o.quit && printStart == o.printStart && port == o.port;
    }
};

Captions captionsOf(QWidget *window)
{
    return {window->findChild<QPushButton *>("PushButton2")->text(),
            window->findChild<QLabel *>("Label2")->text(),
            window->findChild<QLabel *>("Label1")->text()};
}

QComboBox *popup(Window1 &window, const char *name)
{
    return window.findChild<QComboBox *>(QString::fromLatin1(name));
}

} // namespace

class WindowStartupTest : public QObject {
    Q_OBJECT

private slots:
    void fieldsStartEmpty()
    {
        WindowRig rig;
        Window1 window(rig.services());
        QCOMPARE(window.Anzahl, 0);
        QCOMPARE(window.BaudWert, 0);
        QCOMPARE(window.BitWert, 0);
        QCOMPARE(window.ParityWert, 0);
        QCOMPARE(window.StopBitWert, 0);
        QVERIFY(!window.DTRWert && !window.CTSWert && !window.XONWert);
        QVERIFY(window.Language.isEmpty());
        QVERIFY(rig.msgBox.shown.isEmpty());
        QCOMPARE(rig.ports.calls, 0);
    }

    void openingSetsCaptionsThenShowsUsage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("quit");
        QTest::addColumn<QString>("printStart");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("usage");
        QTest::newRow("ger") << "ger"
                             << "Ende"
                             << "Druck Start" << QString::fromUtf8("Seriellen Port wählen")
                             << kUsageGerman;
        QTest::newRow("eng") << "eng"
                             << "Cancel"
                             << "Print Start"
                             << "Choose serial port" << kUsageEnglish;
    }
    void openingSetsCaptionsThenShowsUsage()
    {
        QFETCH(QString, language);
        QFETCH(QString, quit);
        QFETCH(QString, printStart);
        QFETCH(QString, port);
        QFETCH(QString, usage);

        WindowRig rig;
        Window1 window(rig.services());
        window.setOpenLanguage(language);
        Captions atUsageBox;
        rig.msgBox.onShow = [&](const QString &) { atUsageBox = captionsOf(&window); };
        window.open();

        QCOMPARE(window.Language, language);
        QCOMPARE(rig.msgBox.shown, QStringList {usage});
        const Captions expected {quit, printStart, port};
        QVERIFY(captionsOf(&window) == expected);
        QVERIFY2(atUsageBox == expected, "captions must be set before the usage box appears");
    }

    void programOpensInGerman()
    {
        WindowRig rig;
        Window1 window(rig.services());
        window.open();
        QCOMPARE(window.Language, QStringLiteral("ger"));
        QCOMPARE(rig.msgBox.shown, QStringList {kUsageGerman});
    }

    void usageLinesKeepTheirSpaces()
    {
        WindowRig german;
        auto gerWindow = german.openWindow("ger");
        const QStringList gerLines = german.msgBox.shown.first().split('\n');
        QCOMPARE(gerLines.size(), 4);
        QVERIFY(!gerLines.contains(QString()));
        QVERIFY(gerLines.first().startsWith(QString(12, ' ') + "Anwendung"));
        QVERIFY(gerLines.at(1).startsWith(" Erst") && gerLines.at(1).endsWith("Befehl "));
        QVERIFY(gerLines.last().startsWith(QString(17, ' ') + QString::fromUtf8("drücken")));

        WindowRig english;
        auto engWindow = english.openWindow("eng");
        const QStringList engLines = english.msgBox.shown.first().split('\n');
        QCOMPARE(engLines.size(), 3);
        QVERIFY(engLines.at(1).startsWith("  First") && engLines.at(1).endsWith("LFILES  "));
    }

    void unknownLanguageChangesNothingButHelpAndNoPortStillShow_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("empty") << QString();
        QTest::newRow("fra") << "fra";
        QTest::newRow("GERMAN") << "GERMAN";
    }
    void unknownLanguageChangesNothingButHelpAndNoPortStillShow()
    {
        QFETCH(QString, language);
        WindowRig rig;
        Window1 window(rig.services());
        const Captions designed = captionsOf(&window);
        window.setOpenLanguage(language);
        window.open();

        QVERIFY(captionsOf(&window) == designed);
        QVERIFY(rig.msgBox.shown.isEmpty());
        QCOMPARE(window.BaudWert, 9600);

        window.findChild<QPushButton *>("HilfeButton")->click();
        window.findChild<QPushButton *>("PushButton1")->click();
        QCOMPARE(rig.msgBox.shown, (QStringList {kSetupHelp, kNoPort}));
    }

    void noPortMessageIsTheSameInEnglish()
    {
        WindowRig rig;
        auto window = rig.openWindow("eng");
        window->findChild<QPushButton *>("PushButton1")->click();
        QCOMPARE(rig.msgBox.shown.last(), kNoPort);
    }

    void helpShowsTheSetupProgramEachTime()
    {
        WindowRig rig;
        auto window = rig.openWindow();
        rig.msgBox.shown.clear();
        auto *help = window->findChild<QPushButton *>("HilfeButton");
        help->click();
        help->click();
        QCOMPARE(rig.msgBox.shown, (QStringList {kSetupHelp, kSetupHelp}));
        // Help reads and changes nothing.
        QCOMPARE(window->Language, QStringLiteral("ger"));
        QCOMPARE(window->BaudWert, 9600);
        QCOMPARE(window->Anzahl, 0);
    }

    void returnPressesPrintAndPrintWithoutPortSaysSo()
    {
        WindowRig rig;
        auto window = rig.openWindow();
        rig.msgBox.shown.clear();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Return);
        QCOMPARE(rig.msgBox.shown, QStringList {kNoPort});
        QCOMPARE(rig.printing.count("newPrinterSetup"), 0);
        QCOMPARE(rig.pause.count, 0);
    }

    void defaultsAfterOpening()
    {
        WindowRig rig;
        auto window = rig.openWindow();
        QCOMPARE(window->BaudWert, 9600);
        QCOMPARE(window->BitWert, 3);
        QCOMPARE(window->ParityWert, 0);
        QCOMPARE(window->StopBitWert, 1);
        QVERIFY(!window->DTRWert && !window->CTSWert && !window->XONWert);

        const QStringList shown = {popup(*window, "PopupBaud")->currentText(),
                                   popup(*window, "PopupBits")->currentText(),
                                   popup(*window, "PopupParity")->currentText(),
                                   popup(*window, "PopupStopBit")->currentText(),
                                   popup(*window, "PopupDTR")->currentText(),
                                   popup(*window, "PopupCTS")->currentText(),
                                   popup(*window, "PopupXON")->currentText()};
        QCOMPARE(shown, (QStringList {"9600", "8", "No Parity", "1", "OFF", "OFF", "OFF"}));
        QCOMPARE(popup(*window, "PopupBaud")->count(), 8);
        QCOMPARE(popup(*window, "PopupParity")->itemText(2), QStringLiteral("Odd Parity"));

        const TestSerial &serial = window->TestSerial1;
        // 9600 baud, 8 data bits, no parity, one stop bit; DTR, CTS and XON off.
        QCOMPARE(lineFields(serial.lineSettings()),
                 (QList<int> {9600, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                              0, 0, 0}));
        QVERIFY(!serial.isOpen());
        QCOMPARE(popup(*window, "SerAuswahl")->currentIndex(), -1);
        QCOMPARE(window->Anzahl, 0);
    }

    void choosingASettingStoresAndAppliesIt_data()
    {
        QTest::addColumn<QString>("popupName");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("applied");
        QTest::newRow("baud 300") << "PopupBaud" << 7 << 300 << 300;
        QTest::newRow("baud 38400") << "PopupBaud" << 0 << 38400 << 38400;
        QTest::newRow("5 bits") << "PopupBits" << 0 << 0 << int(QSerialPort::Data5);
        QTest::newRow("odd parity") << "PopupParity" << 2 << 2 << int(QSerialPort::OddParity);
        QTest::newRow("even parity") << "PopupParity" << 1 << 1 << int(QSerialPort::EvenParity);
        QTest::newRow("1.5 stop bits") << "PopupStopBit" << 1 << 1 << int(QSerialPort::OneStop);
        QTest::newRow("2 stop bits") << "PopupStopBit" << 2 << 2 << int(QSerialPort::TwoStop);
        QTest::newRow("DTR on") << "PopupDTR" << 1 << 1 << 1;
        QTest::newRow("CTS on") << "PopupCTS" << 1 << 1 << 1;
        QTest::newRow("XON on") << "PopupXON" << 1 << 1 << 1;
    }
    void choosingASettingStoresAndAppliesIt()
    {
        QFETCH(QString, popupName);
        QFETCH(int, index);
        QFETCH(int, field);
        QFETCH(int, applied);

        WindowRig rig;
        auto window = rig.openWindow();
        rig.msgBox.shown.clear();
        Window1 &w = *window;
        TestSerial &s = w.TestSerial1;
        const auto fields = [&w] {
            return QVector<int> {w.BaudWert, w.BitWert, w.ParityWert, w.StopBitWert,
                                 w.DTRWert,  w.CTSWert, w.XONWert};
        };
        const auto settings = [&s] { return lineFields(s.lineSettings()); };
        const QStringList order = {"PopupBaud", "PopupBits", "PopupParity", "PopupStopBit",
                                   "PopupDTR",  "PopupCTS",  "PopupXON"};
        const int which = int(order.indexOf(popupName));
        QVector<int> wantFields = fields();
        QVector<int> wantSettings = settings();
        wantFields[which] = field;
        wantSettings[which] = applied;

        popup(w, qPrintable(popupName))->setCurrentIndex(index);

        QCOMPARE(fields(), wantFields);
        QCOMPARE(settings(), wantSettings);
        QCOMPARE(w.Anzahl, 0);
        QCOMPARE(popup(w, "SerAuswahl")->currentIndex(), -1);
        QVERIFY(!s.isOpen());
        QVERIFY(rig.msgBox.shown.isEmpty());
    }

    void clearingASettingPopupChangesNothing()
    {
        WindowRig rig;
        auto window = rig.openWindow();
        popup(*window, "PopupBaud")->setCurrentIndex(-1);
        QCOMPARE(window->BaudWert, 9600);
        QCOMPARE(window->TestSerial1.lineSettings().baud, 9600);
    }
};

QTEST_MAIN(WindowStartupTest)
#include "test_window_startup.moc"
