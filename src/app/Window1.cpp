#include "app/Window1.h"

#include "app/MainMenuBar.h"
#include "app/ProgressWheel.h"
#include "app/Quit.h"
#include "app/WhenExposed.h"
#include "app/WindowLayout.h"
#include "serial/PortWatcher.h"
#include "toolkit/MsgBox.h"
#include "toolkit/QtLanguage.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>

#include <algorithm>

namespace {

enum class Event { Open, Change, Action };

struct Binding {
    const char *control;
    Event event;
    void (Window1::*handler)();
};

const Binding kBindings[] = {
    {"SerAuswahl", Event::Change, &Window1::SerAuswahl_Change},
    {"SerAuswahl", Event::Open, &Window1::SerAuswahl_Open},
    {"PushButton1", Event::Action, &Window1::PushButton1_Action},
    {"PushButton2", Event::Action, &Window1::PushButton2_Action},
    {"PopupBaud", Event::Change, &Window1::PopupBaud_Change},
    {"PopupBaud", Event::Open, &Window1::PopupBaud_Open},
    {"PopupBits", Event::Change, &Window1::PopupBits_Change},
    {"PopupBits", Event::Open, &Window1::PopupBits_Open},
    {"PopupParity", Event::Change, &Window1::PopupParity_Change},
    {"PopupParity", Event::Open, &Window1::PopupParity_Open},
    {"PopupStopBit", Event::Change, &Window1::PopupStopBit_Change},
    {"PopupStopBit", Event::Open, &Window1::PopupStopBit_Open},
    {"PopupDTR", Event::Change, &Window1::PopupDTR_Change},
    {"PopupDTR", Event::Open, &Window1::PopupDTR_Open},
    {"PopupCTS", Event::Change, &Window1::PopupCTS_Change},
    {"PopupCTS", Event::Open, &Window1::PopupCTS_Open},
    {"PopupXON", Event::Change, &Window1::PopupXON_Change},
    {"PopupXON", Event::Open, &Window1::PopupXON_Open},
    {"HilfeButton", Event::Action, &Window1::HilfeButton_Action},
};

// Where the window keeps each popup's choice: a number, or on/off.
struct SettingField {
    LineSetting setting;
    int Window1::*number;
    bool Window1::*onOff;
};

const SettingField kSettingFields[] = {
    {LineSetting::Baud, &Window1::BaudWert, nullptr},
    {LineSetting::Bits, &Window1::BitWert, nullptr},
    {LineSetting::Parity, &Window1::ParityWert, nullptr},
    {LineSetting::StopBit, &Window1::StopBitWert, nullptr},
    {LineSetting::DTR, nullptr, &Window1::DTRWert},
    {LineSetting::CTS, nullptr, &Window1::CTSWert},
    {LineSetting::XON, nullptr, &Window1::XONWert},
};

int rowOf(const QVector<PortDescriptor> &ports, const QString &key, int from = 0)
{
    for (int row = from; row < ports.size(); ++row) {
        if (ports.at(row).path() == key)
            return row;
    }
    return -1;
}

// What the system tells about the device, one line each.
QString toolTipFor(const PortDescriptor &port)
{
    QStringList lines;
    for (const QString &line : {port.description, port.manufacturer, port.serialNumber}) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

Window1::Window1(const WindowServices &services, QWidget *parent)
    : QMainWindow(parent), m_services(services)
{
    if (!m_services.msgBox || !m_services.printService || !m_services.pause || !m_services.yield ||
        !m_services.ports || !m_services.portWatcher) {
        m_ownServices = std::make_unique<QtWindowServices>(this);
        const WindowServices real = m_ownServices->services();
        m_services.msgBox = m_services.msgBox ? m_services.msgBox : real.msgBox;
        m_services.printService =
            m_services.printService ? m_services.printService : real.printService;
        m_services.pause = m_services.pause ? m_services.pause : real.pause;
        m_services.yield = m_services.yield ? m_services.yield : real.yield;
        m_services.ports = m_services.ports ? m_services.ports : real.ports;
        m_services.portWatcher = m_services.portWatcher ? m_services.portWatcher : real.portWatcher;
    }
    build();
    bind();
}

Window1::~Window1()
{
    m_services.portWatcher->setChangeHandler({});
}

Window1 *Window1::instance()
{
    static QPointer<Window1> window;
    if (!window) {
        window = new Window1;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        // On the screen first, so the usage box opens over the window.
        callWhenExposed(window, [w = window.data()] { w->open(); });
    }
    return window;
}

void Window1::build()
{
    setMenuBar(MainMenuBar::instance());
    const WindowTable &table = window1Table();
    setWindowTitle(QString::fromUtf8(table.title));
    setMinimumSize(table.minimumSize);
    setMaximumSize(table.maximumSize);

    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("Content"));
    setCentralWidget(content);

    QVector<ControlRow> byTabIndex;
    for (const ControlRow &control : window1Controls()) {
        createControl(control, content);
        byTabIndex << control;
    }
    std::stable_sort(
        byTabIndex.begin(), byTabIndex.end(),
        [](const ControlRow &a, const ControlRow &b) { return a.tabIndex < b.tabIndex; });
    for (int i = 1; i < byTabIndex.size(); ++i) {
        setTabOrder(content->findChild<QWidget *>(QString::fromLatin1(byTabIndex[i - 1].name)),
                    content->findChild<QWidget *>(QString::fromLatin1(byTabIndex[i].name)));
    }

    SerAuswahl = content->findChild<QComboBox *>(QStringLiteral("SerAuswahl"));
    PushButton1 = content->findChild<QPushButton *>(QStringLiteral("PushButton1"));
    PushButton2 = content->findChild<QPushButton *>(QStringLiteral("PushButton2"));
    HilfeButton = content->findChild<QPushButton *>(QStringLiteral("HilfeButton"));
    Label1 = content->findChild<QLabel *>(QStringLiteral("Label1"));
    Label2 = content->findChild<QLabel *>(QStringLiteral("Label2"));
    ProgressWheel1 = content->findChild<ProgressWheel *>(QStringLiteral("ProgressWheel1"));

    resize(table.contentSize + QSize(0, menuBar()->sizeHint().height()));
}

void Window1::bind()
{
    for (const Binding &binding : kBindings) {
        QWidget *control =
            centralWidget()->findChild<QWidget *>(QString::fromLatin1(binding.control));
        switch (binding.event) {
        case Event::Open:
            m_openHandlers << binding.handler;
            break;
        case Event::Change:
            connect(qobject_cast<QComboBox *>(control), &QComboBox::currentIndexChanged, this,
                    binding.handler);
            break;
        case Event::Action:
            connect(qobject_cast<QPushButton *>(control), &QPushButton::clicked, this,
                    binding.handler);
            break;
        }
    }

    // Choosing the row that is already selected changes no index, so it
    // would do nothing; when that port is not open (a failed open, an
    // unplugged adapter) the choice is a retry and must open it again.
    connect(SerAuswahl, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_choiceHandled = index >= 0; });
    connect(SerAuswahl, &QComboBox::activated, this, [this] {
        if (!m_choiceHandled && !TestSerial1.isOpen())
            SerAuswahl_Change();
        m_choiceHandled = false;
    });

    // Default and cancel buttons work only in a dialog; the window needs its
    // own keys for them.
    for (const QKeySequence &key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, PushButton1, &QPushButton::click);
    }
    auto *cancel = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(cancel, &QShortcut::activated, PushButton2, &QPushButton::click);
}

void Window1::open()
{
    for (auto handler : std::as_const(m_openHandlers))
        (this->*handler)();
    Window1_Open();
}

void Window1::showIfAny(const std::optional<QString> &text)
{
    if (!text)
        return;
    ++m_boxesOpen;
    m_services.msgBox->show(*text);
    --m_boxesOpen;
    runPendingRefresh();
}

void Window1::runPendingRefresh()
{
    if (m_refreshPending && !m_printing && m_boxesOpen == 0) {
        m_refreshPending = false;
        refreshPorts();
    }
}

void Window1::Window1_Open()
{
    Language = m_openLanguage;
    // Qt's dialogs and buttons speak the window's language too.
    setQtLanguage(Language == kGerman ? QStringLiteral("de") : QString());
    if (auto text = lookupText(TextKey::CapQuitButton, Language))
        PushButton2->setText(*text);
    if (auto text = lookupText(TextKey::CapPrintStartLabel, Language))
        Label2->setText(*text);
    if (auto text = lookupText(TextKey::CapPortLabel, Language))
        Label1->setText(*text);
    showIfAny(lookupText(TextKey::MsgUsage, Language));
}

void Window1::SerAuswahl_Open()
{
    SerAuswahl->setCurrentIndex(-1);
    showPorts(m_services.ports->ports(), -1);
    // From now on the list follows the adapters that come and go.
    m_services.portWatcher->setChangeHandler([this] { refreshPorts(); });
}

void Window1::SerAuswahl_Change()
{
    const int index = SerAuswahl->currentIndex();
    if (index < 0 || index >= m_ports.size())
        return;
    Anzahl = index + 1;
    if (m_ports.at(index).path() != TestSerial1.serialPort().path())
        m_printButton.forgetUnprinted();
    TestSerial1.setSerialPort(m_ports.at(index));
    m_heldPortWentAway = false;
    openHeldPort();
}

void Window1::openHeldPort()
{
    if (TestSerial1.open())
        showIfAny(lookupText(TextKey::MsgPortOpened, Language));
    else
        showIfAny(portOpenFailedText(Language, TestSerial1.lastErrorCode()));
}

void Window1::refreshPorts()
{
    QVector<PortDescriptor> listed = m_services.ports->ports();
    const PortDescriptor held = TestSerial1.serialPort();
    const bool holding = Anzahl > 0;
    int heldRow = holding ? rowOf(listed, held.path()) : -1;
    const bool present = heldRow >= 0;
    // Noted even when the rest waits, so that an adapter pulled out and
    // plugged in again meanwhile is still opened again afterwards.
    if (holding && !present)
        m_heldPortWentAway = true;

    // Not under a print job's feet (the job's pause lets the news in), nor
    // under an open box, where a port that came back would stack a second
    // box on the first.
    if (m_printing || m_boxesOpen > 0) {
        m_refreshPending = true;
        return;
    }

    // The port chosen last keeps its row while it is away, so the
    // selection, and Anzahl as the chosen row + 1, still name it.
    if (holding && !present) {
        const auto after =
            std::find_if(listed.cbegin(), listed.cend(),
                         [&](const PortDescriptor &port) { return listedBefore(held, port); });
        heldRow = int(after - listed.cbegin());
        listed.insert(heldRow, held);
    }
    showPorts(listed, SerAuswahl->currentIndex() >= 0 ? heldRow : -1);
    if (holding)
        Anzahl = heldRow + 1;

    // The adapter that was open came back under its path: open it again, as
    // if the user had chosen it.
    if (present && m_heldPortWentAway && TestSerial1.isLost()) {
        m_heldPortWentAway = false;
        TestSerial1.setSerialPort(listed.at(heldRow));
        openHeldPort();
    }
}

// Changes the rows to the given ports, leaving the rows of ports still
// listed in place, and selects the given row. No handler runs: nothing is
// opened or closed and no box is shown.
void Window1::showPorts(const QVector<PortDescriptor> &listed, int selectedRow)
{
    const QSignalBlocker quiet(SerAuswahl);
    for (int row = int(m_ports.size()) - 1; row >= 0; --row) {
        if (rowOf(listed, m_ports.at(row).path()) < 0) {
            SerAuswahl->removeItem(row);
            m_ports.removeAt(row);
        }
    }
    for (int row = 0; row < listed.size(); ++row) {
        const PortDescriptor &port = listed.at(row);
        const int found = rowOf(m_ports, port.path(), row);
        if (found != row) {
            if (found > row) {
                SerAuswahl->removeItem(found);
                m_ports.removeAt(found);
            }
            SerAuswahl->insertItem(row, port.name);
            m_ports.insert(row, port);
        } else {
            SerAuswahl->setItemText(row, port.name);
            m_ports[row] = port;
        }
        SerAuswahl->setItemData(row, toolTipFor(port), Qt::ToolTipRole);
    }
    while (m_ports.size() > listed.size()) {
        SerAuswahl->removeItem(int(m_ports.size()) - 1);
        m_ports.removeLast();
    }
    SerAuswahl->setCurrentIndex(selectedRow);
}

void Window1::PushButton1_Action()
{
    m_printing = true;
    CaptureServices capture {*m_services.msgBox, *ProgressWheel1, *m_services.pause,
                             *m_services.yield};
    m_printButton.press(Anzahl, TestSerial1, capture, *m_services.printService, Language);
    m_printing = false;
    if (m_closeWhenPrinted) {
        m_closeWhenPrinted = false;
        close();
    } else {
        runPendingRefresh();
    }
}

void Window1::closeEvent(QCloseEvent *event)
{
    // The drain's pause lets close requests through; closing (and deleting)
    // the window now would take the port and the job's state from under it.
    if (m_printing) {
        m_closeWhenPrinted = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void Window1::PushButton2_Action()
{
    requestQuit(0);
}

void Window1::HilfeButton_Action()
{
    showIfAny(lookupText(TextKey::MsgSetupHelp, Language));
}

QComboBox *Window1::popupFor(LineSetting setting) const
{
    return centralWidget()->findChild<QComboBox *>(
        QString::fromLatin1(lineSettingPopup(setting).popupName));
}

void Window1::lineSetting_Open(LineSetting setting)
{
    const LineSettingPopup &row = lineSettingPopup(setting);
    QComboBox *popup = popupFor(setting);
    {
        // Filling an empty popup selects its first item by itself; start from
        // no selection so that only the default is stored and applied.
        const QSignalBlocker quiet(popup);
        popup->addItems(row.texts());
        popup->setCurrentIndex(-1);
    }
    popup->setCurrentIndex(row.defaultIndex);
}

void Window1::lineSetting_Change(LineSetting setting)
{
    // A popup cleared of its choice changes nothing.
    const int index = popupFor(setting)->currentIndex();
    const LineSettingPopup &popup = lineSettingPopup(setting);
    if (index < 0 || index >= popup.items.size())
        return;
    const LineSettingItem &item = popup.items.at(index);
    storeSetting(setting, item.stored);
    TestSerial1.close();
    m_printButton.forgetUnprinted();
    SerAuswahl->setCurrentIndex(-1);
    LineSettings line = TestSerial1.lineSettings();
    item.apply(line);
    TestSerial1.setLineSettings(line);
}

void Window1::storeSetting(LineSetting setting, int stored)
{
    for (const SettingField &field : kSettingFields) {
        if (field.setting != setting)
            continue;
        if (field.number)
            this->*field.number = stored;
        else
            this->*field.onOff = stored != 0;
    }
}
