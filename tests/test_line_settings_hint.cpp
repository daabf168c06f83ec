#include "LineSettingsHint.h"
#include "support/Listings.h"
#include "support/UartModel.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

const UartFormat k8N1 {9600, 8, UartParity::None, 1};
const UartFormat k8E1 {9600, 8, UartParity::Even, 1};
const UartFormat k7E1 {9600, 7, UartParity::Even, 1};
const UartFormat k7O1 {9600, 7, UartParity::Odd, 1};

UartFormat at(int baud, UartFormat format = k8N1)
{
    format.baud = baud;
    return format;
}

// What the PC receives of `text` sent at `sent` and read at `read`, with
// LLIST's pause after every line.
QByteArray received(const QByteArray &text, const UartFormat &sent, const UartFormat &read,
                    UartErrors errors = UartErrors::Nul)
{
    return receiveFrames(sendFrames(text, sent, {0, 0.05}), read, errors);
}

// 3.2% of its bytes are umlauts or sharp s.
QString germanListing()
{
    return QString::fromUtf8("10 REM  GRUNDSTÜCK: FLÄCHE, UMFANG UND GEBÜHREN\r\n"
                             "30 INPUT \"LÄNGE IN METERN \";L\r\n"
                             "40 INPUT \"BREITE IN METERN \";B\r\n"
                             "50 F=L*B: U=2*(L+B)\r\n"
                             "60 LPRINT \"Fläche: \";F;\" m2\"\r\n"
                             "80 IF F>1000 THEN LPRINT \"Größer als 1000 m2\"\r\n"
                             "100 G=INT(F*0.25+0.5)\r\n"
                             "110 LPRINT USING \"Gebühr: ####.## DM\";G\r\n"
                             "140 LPRINT \"Schönen Gruß\"\r\n"
                             "150 END\r\n")
        .repeated(6);
}

// Lines of boxes and blocks: more than half of the bytes above 127.
QString graphicsListing()
{
    return QString::fromUtf8("10 LPRINT \"╔════════════════════════════╗\"\r\n"
                             "20 LPRINT \"║░░▒▒▓▓████ BALKEN ████▓▓▒▒░░║\"\r\n"
                             "30 LPRINT \"╠════════════════════════════╣\"\r\n"
                             "40 LPRINT \"║█▌ ▐█▀▀▄▄ ■■■ ▄▄▀▀█▌ ▐█ ┌┬┐ ║\"\r\n"
                             "50 LPRINT \"╚════════════════════════════╝\"\r\n")
        .repeated(4);
}

// Random bytes, as a line with nothing but noise on it gives.
QByteArray lineNoise(qsizetype size)
{
    QRandomGenerator random(1600);
    QByteArray noise(size, Qt::Uninitialized);
    for (char &byte : noise)
        byte = char(random.bounded(256));
    return noise;
}

} // namespace

class LineSettingsHintTest : public QObject {
    Q_OBJECT

private slots:
    void modelPassesTextAtMatchingSettings();
    void toldOnlyForGarbage_data();
    void toldOnlyForGarbage();
};

// Else every row that is not to be told would pass on an empty job.
void LineSettingsHintTest::modelPassesTextAtMatchingSettings()
{
    const QByteArray listing = sampleListing(40);
    for (const UartFormat &format : {k8N1, k7E1, at(2400, k8E1)})
        QCOMPARE(received(listing, format, format), listing);
}

void LineSettingsHintTest::toldOnlyForGarbage_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<bool>("told");

    const QByteArray listing = sampleListing(120);
    const QString german = germanListing();
    QTest::newRow("matching settings") << received(listing, k8N1, k8N1) << false;
    QTest::newRow("the sample listing") << received(sampleFile(), k8N1, k8N1) << false;
    QTest::newRow("German, Latin-1") << received(german.toLatin1(), k8N1, k8N1) << false;
    QTest::newRow("German, PC-1600 set") << received(inPc1600Set(german), k8N1, k8N1) << false;
    QTest::newRow("mostly block graphics")
        << received(inPc1600Set(graphicsListing()), k8N1, k8N1) << false;
    QTest::newRow("Greek, signs, a box: the PC-1600 set sample")
        << received(pc1600SetFile(), k8N1, k8N1) << false;

    QTest::newRow("4800 read at 9600") << received(listing, at(4800), at(9600)) << true;
    QTest::newRow("9600 read at 2400") << received(listing, at(9600), at(2400)) << true;
    QTest::newRow("9600 read at 19200") << received(listing, at(9600), at(19200)) << true;
    QTest::newRow("7E1 read as 8N1") << received(listing, k7E1, k8N1) << true;
    // The least garbage of a wrong word length: bit 7 is set less often.
    QTest::newRow("7O1 read as 8N1") << received(listing, k7O1, k8N1) << true;
    // Bad parity comes as NUL; a tty that checks no parity (below) hands on
    // what it sampled, which would be the listing here.
    QTest::newRow("8N1 read as 7E1") << received(listing, k8N1, k7E1) << true;
    QTest::newRow("9600 read at 4800, errors as data")
        << received(listing, at(9600), at(4800), UartErrors::Data) << true;
    QTest::newRow("German read as 8E1, errors as data")
        << received(german.toLatin1(), k8N1, k8E1, UartErrors::Data) << true;

    QTest::newRow("line noise") << lineNoise(2000) << true;

    QTest::newRow("a spike on plugging in") << QByteArray("\0\xff\0", 3) << false;
    const QByteArray garbage = received(listing, at(4800), at(9600));
    QTest::newRow("15 bytes of garbage") << garbage.left(15) << false;
    QTest::newRow("16 bytes of garbage") << garbage.left(16) << true;
}

void LineSettingsHintTest::toldOnlyForGarbage()
{
    QFETCH(QByteArray, job);
    QFETCH(bool, told);
    const LineSettingsSigns signs = lineSettingsSigns(job);
    const auto percent = [](double share) { return QByteArray::number(100 * share, 'f', 1); };
    QVERIFY2(looksLikeWrongLineSettings(job) == told,
             QByteArray::number(job.size()) + " bytes: " + percent(signs.controlShare) +
                 "% control codes, " + percent(signs.evenShare) + "% even, " +
                 percent(signs.highShare) + "% above 127");
}

QTEST_GUILESS_MAIN(LineSettingsHintTest)
#include "test_line_settings_hint.moc"
