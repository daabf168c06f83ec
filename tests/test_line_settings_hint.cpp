#include "LineSettingsHint.h"
#include "support/Listings.h"
#include "support/UartModel.h"

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

// Code page 437 puts most umlauts at 0x81 to 0x9A, where Latin-1 has its
// control codes.
QByteArray inCodePage437(const QString &text)
{
    static const QHash<QChar, char> umlauts {
        {u'ä', char(0x84)}, {u'ö', char(0x94)}, {u'ü', char(0x81)}, {u'Ä', char(0x8E)},
        {u'Ö', char(0x99)}, {u'Ü', char(0x9A)}, {u'ß', char(0xE1)}};
    QByteArray bytes;
    for (const QChar c : text)
        bytes += umlauts.value(c, c.toLatin1());
    return bytes;
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
    QTest::newRow("German, code page 437") << received(inCodePage437(german), k8N1, k8N1) << false;

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

    QTest::newRow("a spike on plugging in") << QByteArray("\0\xff\0", 3) << false;
}

void LineSettingsHintTest::toldOnlyForGarbage()
{
    QFETCH(QByteArray, job);
    QFETCH(bool, told);
    const QByteArray share = QByteArray::number(100 * oddByteShare(job), 'f', 1);
    QVERIFY2(looksLikeWrongLineSettings(job) == told,
             share + "% odd bytes of " + QByteArray::number(job.size()));
}

QTEST_GUILESS_MAIN(LineSettingsHintTest)
#include "test_line_settings_hint.moc"
