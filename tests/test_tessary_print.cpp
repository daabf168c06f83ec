#include <QtTest>

namespace {
struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run tessaryPrint(const QStringList &args, const QString &fontconfigFile = QString())
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the tool picks offscreen itself
    if (!fontconfigFile.isEmpty())
        env.insert(QStringLiteral("FONTCONFIG_FILE"), fontconfigFile);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TESSARY_PRINT_PATH), args);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    // Qt's own start-up notes are not ours to check.
    for (const QString &line : QString::fromUtf8(process.readAllStandardError()).split('\n')) {
        if (line.startsWith(QLatin1String("tessary-print:")))
            run.err += line + '\n';
    }
    return run;
}

QByteArray numberedLines(int count)
{
    QByteArray text;
    for (int i = 1; i <= count; ++i)
        text += "LINE " + QByteArray::number(i) + "\r\n";
    return text;
}
} // namespace

class TessaryPrintTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QFile in(m_dir.filePath(QStringLiteral("in.txt")));
        QVERIFY(in.open(QIODevice::WriteOnly));
        in.write(numberedLines(185));
    }

    void printsAndCountsPages_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("default paper") << QStringList {};
        QTest::newRow("A4") << QStringList {"--paper", "A4"};
        QTest::newRow("Letter") << QStringList {"--paper", "Letter"};
        QTest::newRow("qt engine") << QStringList {"--engine", "qt"};
        QTest::newRow("direct engine, Letter")
            << QStringList {"--engine", "direct", "--paper", "Letter"};
    }
    void printsAndCountsPages()
    {
        QFETCH(QStringList, extra);
        const QString out = m_dir.filePath(QStringLiteral("out.pdf"));
        QFile::remove(out);
        const Run run = tessaryPrint(QStringList {m_dir.filePath("in.txt"), out} + extra);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("3\n"));
        QCOMPARE(run.err, QString());
        QFile pdf(out);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
    }

    void paperSizeReachesThePdf()
    {
        const QString out = m_dir.filePath(QStringLiteral("letter.pdf"));
        QCOMPARE(tessaryPrint({m_dir.filePath("in.txt"), out, "--paper", "Letter"}).exitCode, 0);
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {out});
        QVERIFY(info.waitForFinished(30000));
        QVERIFY(QString::fromUtf8(info.readAllStandardOutput())
                    .contains(QStringLiteral("612 x 792 pts")));
    }

    void refusesWithOneLineReason_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        const QString in = m_dir.filePath(QStringLiteral("in.txt"));
        const QString out = m_dir.filePath(QStringLiteral("x.pdf"));
        QTest::newRow("no arguments") << QStringList {} << "usage";
        QTest::newRow("one argument") << QStringList {in} << "usage";
        QTest::newRow("three files") << QStringList {in, out, out} << "usage";
        QTest::newRow("missing input")
            << QStringList {m_dir.filePath("none.txt"), out} << "cannot read";
        QTest::newRow("input is a folder") << QStringList {m_dir.path(), out} << "cannot read";
        QTest::newRow("unwritable output")
            << QStringList {in, "/nonexistent-dir/x.pdf"} << "cannot write";
        QTest::newRow("unknown paper") << QStringList {in, out, "--paper", "A3"} << "unknown paper";
        QTest::newRow("paper missing") << QStringList {in, out, "--paper"} << "--paper";
        QTest::newRow("unknown option") << QStringList {in, out, "--fast"} << "unknown option";
        QTest::newRow("unknown engine") << QStringList {in, out, "--engine", "cairo"} << "--engine";
        QTest::newRow("engine missing") << QStringList {in, out, "--engine"} << "--engine";
        // Opens, but no byte can be written.
        QTest::newRow("full disk")
            << QStringList {in, "/dev/full"} << "printing to /dev/full failed";
        QTest::newRow("full disk, qt engine")
            << QStringList {in, "/dev/full", "--engine", "qt"} << "printing to /dev/full failed";
    }
    void refusesWithOneLineReason()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        const Run run = tessaryPrint(args);
        QVERIFY(run.exitCode > 0);
        QVERIFY2(run.err.contains(reason), qPrintable(run.err));
        QCOMPARE(run.err.count('\n'), 1);
        QCOMPARE(run.out, QString());
    }

    void emptyInputPrintsNoPage()
    {
        const QString empty = m_dir.filePath(QStringLiteral("empty.txt"));
        QFile file(empty);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        // An older PDF by that name must not pass for this print.
        const QString stale = m_dir.filePath(QStringLiteral("empty.pdf"));
        QFile old(stale);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("%PDF-old") > 0);
        old.close();
        const Run run = tessaryPrint({empty, stale});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("0\n"));
        QVERIFY(!QFile::exists(stale));
    }

    // With no font installed nothing could be drawn: a failure, not blank
    // pages passed off as a print, and no crash.
    void noFontIsAFailure_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::newRow("direct") << "direct";
        QTest::newRow("qt") << "qt";
    }
    void noFontIsAFailure()
    {
        QFETCH(QString, engine);
        const QString conf = m_dir.filePath(QStringLiteral("no-fonts.conf"));
        QFile file(conf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
        file.close();
        const QString out = m_dir.filePath(QStringLiteral("no-font.pdf"));
        const Run run =
            tessaryPrint({m_dir.filePath(QStringLiteral("in.txt")), out, "--engine", engine}, conf);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("failed"), qPrintable(run.err));
        QVERIFY(!QFile::exists(out));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TessaryPrintTest)
#include "test_tessary_print.moc"
