#include "serial/LineSettings.h"
#include "serial/Serial.h"
#include "support/LineFields.h"
#include "support/Pty.h"

#include <QtTest>

#include <algorithm>

#include <dlfcn.h>
#include <termios.h>

Q_DECLARE_METATYPE(LineSetting)

namespace {
QList<termios> g_requests;
} // namespace

// Linux ptys force 8 data bits and no parity whatever is asked of them, so
// the test also records what was handed to the kernel, on its way there.
extern "C" int tcsetattr(int fd, int action, const termios *tio)
{
    using Real = int (*)(int, int, const termios *);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "tcsetattr"));
    g_requests.append(*tio);
    return real(fd, action, tio);
}

namespace {

struct Line {
    termios onPty; // read back from the line
    QList<termios> requested; // handed to the kernel while opening
};

bool anyRequested(const Line &line, tcflag_t mask, tcflag_t bits)
{
    return std::any_of(line.requested.begin(), line.requested.end(),
                       [&](const termios &tio) { return (tio.c_cflag & mask) == bits; });
}

// The line a fresh connection sets up after the given popup choices.
std::optional<Line> lineAfter(const QList<QPair<LineSetting, int>> &choices)
{
    Pty pty;
    Serial serial;
    LineSettings settings;
    for (const auto &[setting, index] : choices)
        lineSettingPopup(setting).items.at(index).apply(settings);
    serial.setLineSettings(settings);
    serial.setSerialPort({QStringLiteral("pty"), pty.slavePath()});
    g_requests.clear();
    if (!serial.open() || g_requests.isEmpty())
        return std::nullopt;
    const std::optional<termios> onPty = pty.slaveTermios();
    if (!onPty)
        return std::nullopt;
    return Line {*onPty, g_requests};
}

} // namespace

class LineSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void popups_data();
    void popups();
    void defaultsOfANewConnection();
    void settingReachesTheLine_data();
    void settingReachesTheLine();
    void bothHandshakesAtOnce();
    void settingsWaitForTheNextOpen();
    void parityBeyondThePopup_data();
    void parityBeyondThePopup();
};

void LineSettingsTest::popups_data()
{
    QTest::addColumn<LineSetting>("setting");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("defaultIndex");
    QTest::addColumn<QVector<int>>("values");

    const QStringList offOn {"OFF", "ON"};
    QTest::newRow("baud") << LineSetting::Baud << "PopupBaud"
                          << QStringList {"38400", "19200", "9600", "4800",
                                          "2400",  "1200",  "600",  "300"}
                          << 2 << QVector<int> {38400, 19200, 9600, 4800, 2400, 1200, 600, 300};
    QTest::newRow("bits") << LineSetting::Bits << "PopupBits" << QStringList {"5", "6", "7", "8"}
                          << 3 << QVector<int> {0, 1, 2, 3};
    QTest::newRow("parity") << LineSetting::Parity << "PopupParity"
                            << QStringList {"No Parity", "Even Parity", "Odd Parity"} << 0
                            << QVector<int> {0, 1, 2};
    QTest::newRow("stop") << LineSetting::StopBit << "PopupStopBit" << QStringList {"1", "1.5", "2"}
                          << 0 << QVector<int> {1, 1, 2};
    QTest::newRow("dtr") << LineSetting::DTR << "PopupDTR" << offOn << 0 << QVector<int> {0, 1};
    QTest::newRow("cts") << LineSetting::CTS << "PopupCTS" << offOn << 0 << QVector<int> {0, 1};
    QTest::newRow("xon") << LineSetting::XON << "PopupXON" << offOn << 0 << QVector<int> {0, 1};
}

void LineSettingsTest::popups()
{
    QFETCH(LineSetting, setting);
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    QFETCH(int, defaultIndex);
    QFETCH(QVector<int>, values);

    const LineSettingPopup &popup = lineSettingPopup(setting);
    QCOMPARE(popup.setting, setting);
    QCOMPARE(QString::fromLatin1(popup.popupName), name);
    QCOMPARE(popup.texts(), items);
    QCOMPARE(popup.defaultIndex, defaultIndex);
    QVector<int> stored;
    for (const LineSettingItem &item : popup.items)
        stored << item.stored;
    QCOMPARE(stored, values);

    // Window order: the popups come in the order of the settings.
    QCOMPARE(lineSettingPopups().at(int(setting)).setting, setting);
}

void LineSettingsTest::defaultsOfANewConnection()
{
    Serial serial;
    const LineSettings &settings = serial.lineSettings();
    // 9600 baud, 8 data bits, no parity, one stop bit; DTR, CTS and XON off.
    QCOMPARE(lineFields(settings),
             (QList<int> {9600, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop, 0,
                          0, 0}));

    // The popups' defaults are the connection's defaults.
    LineSettings fromPopups;
    for (const LineSettingPopup &popup : lineSettingPopups())
        popup.items.at(popup.defaultIndex).apply(fromPopups);
    QCOMPARE(lineFields(fromPopups), lineFields(settings));

    const std::optional<Line> line = lineAfter({});
    QVERIFY(line);
    const termios &tio = line->onPty;
    QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
    QCOMPARE(cfgetispeed(&tio), speed_t(B9600));
    QCOMPARE(tio.c_cflag & (CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QVERIFY(anyRequested(*line, CSIZE | PARENB, CS8));
}

void LineSettingsTest::settingReachesTheLine_data()
{
    QTest::addColumn<LineSetting>("setting");
    QTest::addColumn<int>("index");
    QTest::addColumn<uint>("speed");
    QTest::addColumn<uint>("cflagMask");
    QTest::addColumn<uint>("cflag");
    QTest::addColumn<uint>("iflagMask");
    QTest::addColumn<uint>("iflag");

    const uint any = B9600;
    QTest::newRow("300 baud") << LineSetting::Baud << 7 << uint(B300) << 0u << 0u << 0u << 0u;
    QTest::newRow("38400 baud") << LineSetting::Baud << 0 << uint(B38400) << 0u << 0u << 0u << 0u;
    QTest::newRow("2400 baud") << LineSetting::Baud << 4 << uint(B2400) << 0u << 0u << 0u << 0u;
    QTest::newRow("5 bits") << LineSetting::Bits << 0 << any << uint(CSIZE) << uint(CS5) << 0u
                            << 0u;
    QTest::newRow("6 bits") << LineSetting::Bits << 1 << any << uint(CSIZE) << uint(CS6) << 0u
                            << 0u;
    QTest::newRow("7 bits") << LineSetting::Bits << 2 << any << uint(CSIZE) << uint(CS7) << 0u
                            << 0u;
    QTest::newRow("8 bits") << LineSetting::Bits << 3 << any << uint(CSIZE) << uint(CS8) << 0u
                            << 0u;
    QTest::newRow("no parity") << LineSetting::Parity << 0 << any << uint(PARENB | PARODD) << 0u
                               << 0u << 0u;
    QTest::newRow("even parity") << LineSetting::Parity << 1 << any << uint(PARENB | PARODD)
                                 << uint(PARENB) << 0u << 0u;
    QTest::newRow("odd parity") << LineSetting::Parity << 2 << any << uint(PARENB | PARODD)
                                << uint(PARENB | PARODD) << 0u << 0u;
    QTest::newRow("1 stop bit") << LineSetting::StopBit << 0 << any << uint(CSTOPB) << 0u << 0u
                                << 0u;
    QTest::newRow("1.5 stop bits")
        << LineSetting::StopBit << 1 << any << uint(CSTOPB) << 0u << 0u << 0u;
    QTest::newRow("2 stop bits") << LineSetting::StopBit << 2 << any << uint(CSTOPB) << uint(CSTOPB)
                                 << 0u << 0u;
    QTest::newRow("CTS on") << LineSetting::CTS << 1 << any << uint(CRTSCTS) << uint(CRTSCTS)
                            << uint(IXON | IXOFF) << 0u;
    QTest::newRow("XON on") << LineSetting::XON << 1 << any << uint(CRTSCTS) << 0u
                            << uint(IXON | IXOFF) << uint(IXON | IXOFF);
    QTest::newRow("DTR on") << LineSetting::DTR << 1 << any << uint(CRTSCTS) << 0u
                            << uint(IXON | IXOFF) << 0u;
}

void LineSettingsTest::settingReachesTheLine()
{
    QFETCH(LineSetting, setting);
    QFETCH(int, index);
    QFETCH(uint, speed);
    QFETCH(uint, cflagMask);
    QFETCH(uint, cflag);
    QFETCH(uint, iflagMask);
    QFETCH(uint, iflag);

    const std::optional<Line> line = lineAfter({{setting, index}});
    QVERIFY2(line, "the port did not open");
    const termios &tio = line->onPty;
    QCOMPARE(uint(cfgetospeed(&tio)), speed);
    QCOMPARE(uint(cfgetispeed(&tio)), speed);
    QCOMPARE(uint(tio.c_iflag & iflagMask), iflag);
    const uint forcedByThePty = CSIZE | PARENB;
    QCOMPARE(uint(tio.c_cflag & cflagMask & ~forcedByThePty), cflag & ~forcedByThePty);
    QVERIFY2(anyRequested(*line, cflagMask, cflag), "never asked of the kernel");
}

void LineSettingsTest::bothHandshakesAtOnce()
{
    const std::optional<Line> line = lineAfter({{LineSetting::CTS, 1},
                                                {LineSetting::XON, 1},
                                                {LineSetting::Baud, 7},
                                                {LineSetting::Parity, 1}});
    QVERIFY(line);
    const termios &tio = line->onPty;
    QCOMPARE(tio.c_cflag & CRTSCTS, tcflag_t(CRTSCTS));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    // Adding the second handshake keeps the rest of the line as it was.
    QCOMPARE(cfgetospeed(&tio), speed_t(B300));
    QCOMPARE(tio.c_cflag & PARODD, tcflag_t(0));
    QVERIFY(anyRequested(*line, PARENB | PARODD, PARENB));
}

void LineSettingsTest::settingsWaitForTheNextOpen()
{
    Pty pty;
    Serial serial;
    serial.setSerialPort({QStringLiteral("pty"), pty.slavePath()});
    QVERIFY(serial.open());
    serial.close();
    LineSettings settings;
    settings.baud = 1200;
    settings.parity = QSerialPort::OddParity;
    serial.setLineSettings(settings);
    // Closing hands the line back as it was before the open.
    std::optional<termios> line = pty.slaveTermios();
    QVERIFY(line);
    QVERIFY(cfgetospeed(&*line) != speed_t(B1200));

    QVERIFY(serial.open());
    line = pty.slaveTermios();
    QVERIFY(line);
    QCOMPARE(cfgetospeed(&*line), speed_t(B1200));
    QCOMPARE(line->c_cflag & PARODD, tcflag_t(PARODD));
}

// Space and mark parity, which the popup does not offer but a command-line
// program may ask for: parity bit always 0 or always 1.
void LineSettingsTest::parityBeyondThePopup_data()
{
    QTest::addColumn<QSerialPort::Parity>("parity");
    QTest::addColumn<uint>("cflag");
    QTest::newRow("space") << QSerialPort::SpaceParity << uint(PARENB | CMSPAR);
    QTest::newRow("mark") << QSerialPort::MarkParity << uint(PARENB | CMSPAR | PARODD);
}

void LineSettingsTest::parityBeyondThePopup()
{
    QFETCH(QSerialPort::Parity, parity);
    QFETCH(uint, cflag);
    Pty pty;
    Serial serial;
    LineSettings settings;
    settings.parity = parity;
    serial.setLineSettings(settings);
    QCOMPARE(serial.lineSettings().parity, parity);
    serial.setSerialPort({QStringLiteral("pty"), pty.slavePath(), {}, {}, {}, {}});
    g_requests.clear();
    QVERIFY(serial.open());
    const Line line {*pty.slaveTermios(), g_requests};
    QVERIFY2(anyRequested(line, PARENB | PARODD | CMSPAR, cflag), "never asked of the kernel");
}

QTEST_GUILESS_MAIN(LineSettingsTest)
#include "test_line_settings.moc"
