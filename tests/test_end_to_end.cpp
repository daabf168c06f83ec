#include "serial/OfferedPorts.h"
#include "support/FakeToolkit.h"
#include "support/Files.h"
#include "support/Listings.h"
#include "support/PdfText.h"
#include "support/Process.h"
#include "support/RecordingPrinter.h"
#include "support/WindowRig.h"
#include "toolkit/Waiting.h"

#include "support/Pty.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <termios.h>

namespace {

const QString kOpened = QString::fromUtf8("Serial Port geöffnet.");
constexpr int kLines = 200;

// A BASIC listing as LLIST sends it: numbered lines, CR LF line ends. Each
// line carries the listing's mark and its own number so order and origin
// can be checked on paper.
QByteArray listing(const QByteArray &mark, int firstLineNumber)
{
    QList<QByteArray> body;
    for (const QByteArray &line : sampleFile().split('\n')) {
        const QByteArray trimmed = line.trimmed();
        const QByteArray statement = trimmed.mid(trimmed.indexOf(' ') + 1).trimmed();
        if (!statement.isEmpty())
            body << statement;
    }
    QByteArray text;
    for (int i = 0; i < kLines; ++i)
        text += QByteArray::number(firstLineNumber + 10 * i) + " REM " + mark +
            QByteArray::number(i + 1) + " : " + body[i % body.size()] + "\r\n";
    return text;
}

QStringList linesOf(const QByteArray &text)
{
    QStringList lines = QString::fromLatin1(text).split(QStringLiteral("\r\n"));
    lines.removeLast();
    return lines;
}

// Notes the moment the print dialog is asked for; the rest goes to the
// recording printer.
class TimedPrintService : public PrintService {
public:
    explicit TimedPrintService(const QElapsedTimer &clock) : m_clock(clock) { }

    std::unique_ptr<PrinterSetup> newPrinterSetup() override
    {
        return std::make_unique<Setup>(*this, recorder.newPrinterSetup());
    }

    RecordingPrintService recorder;
    qint64 printDialogAtMs = -1;

private:
    class Setup : public PrinterSetup {
    public:
        Setup(TimedPrintService &service, std::unique_ptr<PrinterSetup> inner)
            : m_service(service), m_inner(std::move(inner))
        { }
        bool pageSetupDialog() override { return m_inner->pageSetupDialog(); }
        std::unique_ptr<PrinterGraphics> openPrinterDialog(const SheetCounter &countSheets) override
        {
            m_service.printDialogAtMs = m_service.m_clock.elapsed();
            return m_inner->openPrinterDialog(countSheets);
        }

    private:
        TimedPrintService &m_service;
        std::unique_ptr<PrinterSetup> m_inner;
    };

    const QElapsedTimer &m_clock;
};

// The simulated PC-1600 on a fresh pseudo-terminal, waiting for a line on
// its input before it sends.
std::unique_ptr<ProgramRun> startSimulator(const QString &file, int baud, int lingerMs,
                                           QString &device)
{
    return startSimulator({"--pty", "--baud", QString::number(baud), "--burst-lines", "10",
                           "--pause-ms", "100", "--wait-line", "--linger-ms",
                           QString::number(lingerMs), file},
                          device);
}

} // namespace

// The whole road: the simulated pocket computer offers its pseudo-terminal
// as a port, and the real window, with the machine's port list and its
// watch, opens it and prints to a PDF through its print button.
class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(pdfToolsPresent(), kPdfToolsNeeded);
        // A runtime folder of the test's own, which the simulators inherit.
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }
    void twoListingsAtTwoBaudRates();

private:
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return file.fileName();
    }
    // Checks the PDF holds exactly the listing, 62 lines a page, in order.
    void verifyPdf(const QString &path, const QByteArray &sent);

    QTemporaryDir m_dir;
    QTemporaryDir m_runtime;
};

void EndToEndTest::verifyPdf(const QString &path, const QByteArray &sent)
{
    const QStringList expected = linesOf(sent);
    const QStringList pages = pdfPages(path);
    QCOMPARE(pages.size(), 4);
    int next = 0;
    for (int k = 0; k < pages.size(); ++k) {
        const QStringList lines = nonEmptyLines(pages[k]);
        QCOMPARE(lines.size(), k < 3 ? 62 : kLines - 3 * 62);
        for (const QString &line : lines) {
            // pdftotext may widen the gaps between words; every character
            // must be there, in order.
            QCOMPARE(withoutSpaces(line), withoutSpaces(expected[next]));
            ++next;
        }
    }
    QCOMPARE(next, kLines);
}

void EndToEndTest::twoListingsAtTwoBaudRates()
{
    QElapsedTimer clock;
    clock.start();
    const QByteArray first = listing("A", 10);
    const QByteArray second = listing("B", 5000);
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    const QString firstFile = writeFile(QStringLiteral("first.txt"), first);
    const QString secondFile = writeFile(QStringLiteral("second.txt"), second);
    QVERIFY(!firstFile.isEmpty() && !secondFile.isEmpty());

    // The window opens before any simulator has offered a port.
    RecordingMsgBox msgBox;
    TimedPrintService printing(clock);
    printing.recorder.pdfPath = m_dir.filePath(QStringLiteral("first.pdf"));
    QtPause pause;
    QtYield yield;
    Window1 window({&msgBox, &printing, &pause, &yield});
    window.setOpenLanguage(QStringLiteral("ger"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.open();
    auto *serAuswahl = window.findChild<QComboBox *>(QStringLiteral("SerAuswahl"));
    auto *printButton = window.findChild<QPushButton *>(QStringLiteral("PushButton1"));
    QVERIFY(serAuswahl && printButton);
    msgBox.shown.clear();

    constexpr int kLingerMs = 2500;
    QString device1;
    const auto sim1 = startSimulator(firstFile, 9600, kLingerMs, device1);
    QVERIFY(sim1);
    qint64 sim1EndedAtMs = -1;
    connect(sim1.get(), &QProcess::finished, this, [&] { sim1EndedAtMs = clock.elapsed(); });
    // Held from before the window locks the device, to read back its settings.
    const Pty line1(device1);
    QVERIFY(line1.isOpen());

    // The user chooses the simulator's row once the list shows it: the port
    // opens with one message, at the speed the device then has.
    const auto choosePort = [&](const QString &device, const Pty &line) {
        const QString row = "PC-1600 simulator (" + device + ")";
        QTest::qWaitFor([&] { return serAuswahl->findText(row) >= 0; }, 10000);
        serAuswahl->setCurrentIndex(serAuswahl->findText(row));
        const std::optional<termios> tio = line.slaveTermios();
        const bool opened = msgBox.shown == QStringList {kOpened} && window.TestSerial1.isOpen();
        msgBox.shown.clear();
        return opened && tio ? cfgetospeed(&*tio) : speed_t(0);
    };
    QCOMPARE(choosePort(device1, line1), speed_t(B9600));

    // The first half arrives while the window idles; the press comes while
    // the pocket computer is still sending, and the drain follows it to the end.
    sim1->write("go\n");
    QTRY_VERIFY_WITH_TIMEOUT(window.TestSerial1.bytesAvailable() >= first.size() / 2, 30000);
    QTest::mouseClick(printButton, Qt::LeftButton);
    QVERIFY(printing.printDialogAtMs >= 0);
    QCOMPARE(sim1->waitForEnd(), 0);

    const QStringList rows1 = printing.recorder.rowTexts();
    const QByteArray printed1 = (rows1.join("\r\n") + "\r\n").toLatin1();
    const qint64 lastByteAtMs = sim1EndedAtMs - kLingerMs;
    qInfo("9600 baud: %lld bytes sent, %lld bytes printed, last byte to print dialog %lld ms",
          qint64(first.size()), qint64(printed1.size()), printing.printDialogAtMs - lastByteAtMs);
    QCOMPARE(printed1.size(), first.size());
    QVERIFY(printed1 == first);
    QVERIFY2(printing.printDialogAtMs - lastByteAtMs < 5000, "the drain does not end");
    verifyPdf(printing.recorder.pdfPath, first);
    QVERIFY(msgBox.shown.isEmpty());
    // It withdrew its offer as it ended.
    QCOMPARE(namesIn(offeredPortsFolder()), QStringList());

    // A slower line: the port closes and must be chosen again.
    QString device2;
    const auto sim2 = startSimulator(secondFile, 4800, 60000, device2);
    QVERIFY(sim2);
    window.findChild<QComboBox *>(QStringLiteral("PopupBaud"))->setCurrentIndex(3);
    QVERIFY(!window.TestSerial1.isOpen());
    QCOMPARE(serAuswahl->currentIndex(), -1);
    QCOMPARE(window.Anzahl, serAuswahl->findText("PC-1600 simulator (" + device1 + ")") + 1);
    const Pty line2(device2);
    QVERIFY(line2.isOpen());

    QCOMPARE(choosePort(device2, line2), speed_t(B4800));

    // This time everything has arrived before the press.
    sim2->write("go\n");
    QTRY_VERIFY_WITH_TIMEOUT(window.TestSerial1.bytesAvailable() == second.size(), 60000);
    printing.recorder.sheets.clear();
    printing.recorder.pdfPath = m_dir.filePath(QStringLiteral("second.pdf"));
    const qint64 pressAtMs = clock.elapsed();
    QTest::mouseClick(printButton, Qt::LeftButton);
    const QByteArray printed2 = (printing.recorder.rowTexts().join("\r\n") + "\r\n").toLatin1();
    qInfo("4800 baud: %lld bytes sent, %lld bytes printed, press to print dialog %lld ms",
          qint64(second.size()), qint64(printed2.size()), printing.printDialogAtMs - pressAtMs);
    QCOMPARE(printed2.size(), second.size());
    QVERIFY(printed2 == second);
    QVERIFY(printing.printDialogAtMs - pressAtMs < 5000);
    verifyPdf(printing.recorder.pdfPath, second);
    QVERIFY(msgBox.shown.isEmpty());
    QVERIFY(window.TestSerial1.isOpen());
}

QTEST_MAIN(EndToEndTest)
#include "test_end_to_end.moc"
