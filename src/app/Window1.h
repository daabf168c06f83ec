#pragma once

#include "app/WindowServices.h"
#include "printjob/PrintButton.h"
#include "serial/LineSettings.h"
#include "serial/PortList.h"
#include "serial/Serial.h"
#include "texts/Catalogue.h"

#include <QMainWindow>
#include <QVector>

class QComboBox;
class QLabel;
class QPushButton;
class ProgressWheel;

// The program's one window: port choice, line settings, print and quit.
// Its controls come from the layout table; each handler is named after the
// control and the event it answers.
class Window1 : public QMainWindow {
    Q_OBJECT
public:
    // Missing services are replaced by the real ones of the desktop.
    explicit Window1(const WindowServices &services = {}, QWidget *parent = nullptr);
    ~Window1() override;

    // The open main window; creates, shows and opens one when there is none.
    static Window1 *instance();

    // Runs the controls' open handlers, then the window's.
    void open();

    // The language code the window's open handler sets; "ger" in the program.
    void setOpenLanguage(const QString &code) { m_openLanguage = code; }

    int Anzahl = 0;
    int BaudWert = 0;
    int BitWert = 0;
    int ParityWert = 0;
    int StopBitWert = 0;
    bool DTRWert = false;
    bool CTSWert = false;
    bool XONWert = false;
    QString Language;

    TestSerial TestSerial1;

public slots:
    void Window1_Open();

    void SerAuswahl_Open();
    void SerAuswahl_Change();

    void PushButton1_Action();
    void PushButton2_Action();
    void HilfeButton_Action();

    void PopupBaud_Open() { lineSetting_Open(LineSetting::Baud); }
    void PopupBaud_Change() { lineSetting_Change(LineSetting::Baud); }
    void PopupBits_Open() { lineSetting_Open(LineSetting::Bits); }
    void PopupBits_Change() { lineSetting_Change(LineSetting::Bits); }
    void PopupParity_Open() { lineSetting_Open(LineSetting::Parity); }
    void PopupParity_Change() { lineSetting_Change(LineSetting::Parity); }
    void PopupStopBit_Open() { lineSetting_Open(LineSetting::StopBit); }
    void PopupStopBit_Change() { lineSetting_Change(LineSetting::StopBit); }
    void PopupDTR_Open() { lineSetting_Open(LineSetting::DTR); }
    void PopupDTR_Change() { lineSetting_Change(LineSetting::DTR); }
    void PopupCTS_Open() { lineSetting_Open(LineSetting::CTS); }
    void PopupCTS_Change() { lineSetting_Change(LineSetting::CTS); }
    void PopupXON_Open() { lineSetting_Open(LineSetting::XON); }
    void PopupXON_Change() { lineSetting_Change(LineSetting::XON); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void build();
    void bind();
    void lineSetting_Open(LineSetting setting);
    void lineSetting_Change(LineSetting setting);
    void storeSetting(LineSetting setting, int stored);
    QComboBox *popupFor(LineSetting setting) const;
    void showIfAny(const std::optional<QString> &text);
    void openHeldPort();
    void refreshPorts();
    void runPendingRefresh();
    void showPorts(const QVector<PortDescriptor> &listed, int selectedRow);

    std::unique_ptr<QtWindowServices> m_ownServices;
    WindowServices m_services;
    QString m_openLanguage = kGerman;
    QVector<PortDescriptor> m_ports;
    QVector<void (Window1::*)()> m_openHandlers;
    bool m_printing = false;
    bool m_closeWhenPrinted = false;
    bool m_choiceHandled = false;
    // News of the ports that came while a job or a box held the window.
    bool m_refreshPending = false;
    int m_boxesOpen = 0;
    // The chosen port was missing from a refresh since it was last opened.
    bool m_heldPortWentAway = false;
    PrintButton m_printButton;

    QComboBox *SerAuswahl = nullptr;
    QPushButton *PushButton1 = nullptr;
    QPushButton *PushButton2 = nullptr;
    QPushButton *HilfeButton = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    ProgressWheel *ProgressWheel1 = nullptr;
};
