#include "printjob/Capture.h"
#include "printjob/Pagination.h"
#include "printjob/PrintJob.h"
#include "serial/Serial.h"
#include "support/FakeToolkit.h"
#include "support/PdfText.h"
#include "support/Process.h"
#include "support/RecordingPrinter.h"
#include "support/Sanitizers.h"
#include "support/SerialOnPty.h"
#include "toolkit/CharacterSet.h"

#include <QRandomGenerator>
#include <QtTest>

#include <sys/resource.h>

namespace {

#ifdef TESSARY_ASAN
// Several times slower and with its own memory overhead: smaller input, and
// the memory bound is not asserted.
constexpr qsizetype kBigJob = 2 * 1024 * 1024;
#else
constexpr qsizetype kBigJob = 10 * 1024 * 1024;
#endif

// Peak resident memory of one stretch of work, over what was resident at its
// start. Linux resets the peak on request; where it cannot, getrusage's
// lifetime peak is used, which can only understate the growth.
class PeakMemory {
public:
    PeakMemory()
    {
        const qint64 self = QCoreApplication::applicationPid();
        m_reset = resetPeakMemory(self);
        m_startKb = residentMemoryKb(self);
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        m_lifetimeStartKb = usage.ru_maxrss;
    }
    bool wasReset() const { return m_reset; }
    double growthMb() const
    {
        if (m_reset)
            return (peakMemoryKb(QCoreApplication::applicationPid()) - m_startKb) / 1024.0;
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        return (usage.ru_maxrss - m_lifetimeStartKb) / 1024.0;
    }

private:
    bool m_reset = false;
    qint64 m_startKb = 0;
    long m_lifetimeStartKb = 0;
};

void checkMemory(const char *what, const PeakMemory &peak, qsizetype inputBytes)
{
    const double inputMb = inputBytes / (1024.0 * 1024.0);
    const double growth = peak.growthMb();
    qInfo("%s: %.1f MB in, peak memory growth %.1f MB (%.1fx, %s)", what, inputMb, growth,
          growth / inputMb, peak.wasReset() ? "peak reset before" : "lifetime peak");
#ifndef TESSARY_ASAN
    QVERIFY2(growth < 8 * inputMb + 100, "runaway copies of the received text");
#endif
}

const CharacterTable &kDrawnAs = characterTable(CharacterSet::Pc1600);

bool isDrawnChar(QChar c)
{
    return c.unicode() != 0 &&
        std::find(kDrawnAs.begin(), kDrawnAs.end(), c.unicode()) != kDrawnAs.end();
}

// What the paper must show of the text: every printable byte, in order, as
// its character in the PC-1600's set. Spaces are left out on both sides
// because tabs turn into spaces and wrapping moves them.
QString printableOf(const QByteArray &text)
{
    QString out;
    out.reserve(text.size());
    for (const char byte : text) {
        const QChar c {kDrawnAs[uchar(byte)]};
        if (c.unicode() != 0 && c != QLatin1Char(' '))
            out.append(c);
    }
    return out;
}

struct Drawn {
    QString withoutSpaces;
    qsizetype controlChars = 0;
    qsizetype rows = 0;
};

Drawn drawnOf(const RecordingPrintService &printer)
{
    Drawn drawn;
    for (const Sheet &sheet : printer.sheets) {
        for (const TextRow &row : sheet) {
            ++drawn.rows;
            for (const QChar c : row.text) {
                if (!isDrawnChar(c))
                    ++drawn.controlChars;
                else if (c != QLatin1Char(' '))
                    drawn.withoutSpaces.append(c);
            }
        }
    }
    return drawn;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// A listing of about the given size whose lines all differ, with the
// characters of a real one.
QByteArray longListing(qsizetype size)
{
    QByteArray out;
    out.reserve(size + 128);
    for (int number = 10; out.size() < size; number += 10) {
        out += QByteArray::number(number) + " IF A$(" + QByteArray::number(number % 97) +
            ")<>\"\" THEN LPRINT USING \"###.##\";X*" + QByteArray::number(number * 13) + "\r\n";
    }
    return out;
}

struct Job {
    RecordingMsgBox msgBox;
    RecordingBusy busy;
    CountingPause pause; // instant: the reads themselves pull from the port
    CountingYield yield;
    CaptureServices seams {msgBox, busy, pause, yield};
    RecordingPrintService printer;
};

} // namespace

class HostileInputTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Smallest first: a later case reuses memory an earlier one freed.
    void hundredThousandCharacterLine();
    void randomBytesFromAWrongBaudRate();
    void controlBytesAreCarriedButNeverDrawn();
    void tenMegabytesInOneJob();

private:
    // Sends the bytes over the pty while the event loop runs, then, once
    // they are all in, drains them as the print button does.
    std::optional<QByteArray> sendAndCapture(const QByteArray &sent, Job &job);

    std::unique_ptr<SerialOnPty> m_link;
    QTemporaryDir m_dir;
};

void HostileInputTest::init()
{
    m_link = std::make_unique<SerialOnPty>();
    QVERIFY(m_link->open());
}

void HostileInputTest::cleanup()
{
    m_link.reset();
}

std::optional<QByteArray> HostileInputTest::sendAndCapture(const QByteArray &sent, Job &job)
{
    if (!m_link->deliver(sent, 120000))
        return std::nullopt;
    return CaptureReceivedText(1, m_link->serial, job.seams);
}

void HostileInputTest::randomBytesFromAWrongBaudRate()
{
    const QByteArray sent = randomBytes(1024 * 1024, 1600);
    Job job;
    const PeakMemory peak;
    const std::optional<QByteArray> text = sendAndCapture(sent, job);
    QVERIFY(text);
    QCOMPARE(text->size(), sent.size());
    QVERIFY(*text == sent);

    const PrintOutcome outcome = PrintReceivedText(*text, job.printer, job.yield);
    checkMemory("1 MB of random bytes", peak, sent.size());
    QVERIFY(!outcome.cancelled && !outcome.failed);
    QVERIFY(outcome.pages > 1);
    const Drawn drawn = drawnOf(job.printer);
    QCOMPARE(drawn.controlChars, 0);
    QCOMPARE(drawn.withoutSpaces.size(), printableOf(sent).size());
    QVERIFY(drawn.withoutSpaces == printableOf(sent));
    QVERIFY(job.msgBox.shown.isEmpty());
}

void HostileInputTest::controlBytesAreCarriedButNeverDrawn()
{
    // One line per control byte, the byte between two letters; a NUL opens
    // and ends the transmission, where a C string would lose everything.
    QByteArray sent("\0", 1);
    QStringList expected;
    QList<int> controls;
    for (int c = 0; c < 32; ++c)
        controls << c;
    controls << 127;
    for (const int c : std::as_const(controls)) {
        if (c == '\n' || c == '\r' || c == '\t')
            continue;
        const QByteArray tag = "C" + QByteArray::number(c);
        sent += tag + " A" + char(c) + "B" + char(c) + char(c) + "\r\n";
        expected << QString::fromLatin1(tag + " AB");
    }
    sent += QByteArray("END\0", 4);
    expected << QStringLiteral("END");

    Job job;
    const std::optional<QByteArray> text = sendAndCapture(sent, job);
    QVERIFY(text);
    QCOMPARE(text->size(), sent.size());
    QVERIFY(*text == sent);

    PrintReceivedText(*text, job.printer, job.yield);
    QCOMPARE(job.printer.sheets.size(), 1);
    QCOMPARE(job.printer.rowTexts(), expected);
}

void HostileInputTest::hundredThousandCharacterLine()
{
    QByteArray line;
    for (int i = 0; line.size() < 100000; ++i)
        line += "<" + QByteArray::number(i) + ":AZ09!#%&()*+/;=?@[]^_{|}~>";
    line.truncate(100000);
    const QByteArray sent = "FIRST\r\n" + line + "\r\nLAST\r\n";

    Job job;
    const PeakMemory peak;
    const std::optional<QByteArray> text = sendAndCapture(sent, job);
    QVERIFY(text);
    QVERIFY(*text == sent);

    const PrintOutcome recorded = PrintReceivedText(*text, job.printer, job.yield);
    checkMemory("one 100,000-character line", peak, sent.size());
    QCOMPARE(recorded.pages, 1);
    QVERIFY(recorded.sheets > 10);
    const Drawn drawn = drawnOf(job.printer);
    QCOMPARE(drawn.controlChars, 0);
    QVERIFY(drawn.withoutSpaces == printableOf(sent));
    QCOMPARE(job.printer.rowTexts().first(), QStringLiteral("FIRST"));
    QCOMPARE(job.printer.rowTexts().last(), QStringLiteral("LAST"));

    // On real paper too, with the real font's widths.
    RecordingPrintService pdf;
    pdf.pdfPath = m_dir.filePath(QStringLiteral("long-line.pdf"));
    const PrintOutcome printed = PrintReceivedText(*text, pdf, job.yield);
    QVERIFY(!printed.failed);
    const QStringList pages = pdfPages(pdf.pdfPath);
    QCOMPARE(pages.size(), printed.sheets);
    QString onPaper = pages.join(QString());
    onPaper.remove(QRegularExpression(QStringLiteral("\\s")));
    QCOMPARE(onPaper.size(), printableOf(sent).size());
    QVERIFY(onPaper == printableOf(sent));
}

void HostileInputTest::tenMegabytesInOneJob()
{
    const QByteArray sent = longListing(kBigJob);
    Job job;
    const PeakMemory peak;
    const std::optional<QByteArray> text = sendAndCapture(sent, job);
    QVERIFY(text);
    QCOMPARE(text->size(), sent.size());
    QVERIFY(*text == sent);
    QCOMPARE(job.busy.changes, (QList<bool> {true, false}));

    const PrintOutcome outcome = PrintReceivedText(*text, job.printer, job.yield);
    checkMemory("one big job", peak, sent.size());
    QVERIFY(!outcome.failed);
    const QList<QByteArray> sentLines = sent.chopped(2).split('\n');
    QCOMPARE(outcome.pages, int((sentLines.size() + kLinesPerPage - 1) / kLinesPerPage));
    const QStringList rows = job.printer.rowTexts();
    QCOMPARE(rows.size(), sentLines.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString expected =
            QString::fromLatin1(sentLines[i].chopped(i + 1 < rows.size() ? 1 : 0));
        if (rows[i] != expected)
            QFAIL(qPrintable(QStringLiteral("line %1 differs: %2").arg(i + 1).arg(rows[i])));
    }
}

QTEST_MAIN(HostileInputTest)
#include "test_hostile_input.moc"
