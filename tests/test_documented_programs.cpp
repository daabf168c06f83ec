#include "support/Process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtTest>

// What a newcomer types from README and what the scripts run must be there
// after a build: a program that moved within build/ breaks them silently.
class DocumentedProgramsTest : public QObject {
    Q_OBJECT

private slots:
    void everyNamedProgramIsBuilt()
    {
        QSet<QString> named;
        // build/NAME, not build/sub/... and not build/file.ext
        static const QRegularExpression program(
            QStringLiteral("(?:^|[\\s`$/\"'(])build/([a-z0-9][a-z0-9-]*)(?![a-z0-9./_-])"),
            QRegularExpression::MultilineOption);
        for (const char *document : {"README.md", "scripts/run.sh", "scripts/test.sh"}) {
            QFile file(QDir(QStringLiteral(TESSARY_SOURCE_DIR)).filePath(document));
            QVERIFY2(file.open(QIODevice::ReadOnly), document);
            const QString text = QString::fromUtf8(file.readAll());
            for (const QRegularExpressionMatch &match : program.globalMatch(text))
                named << match.captured(1);
        }
        // The README's own command and the three programs beside it.
        for (const char *expected : {"tessary", "tessary-print", "tessary-capture", "pc1600-sim"})
            QVERIFY2(named.contains(QLatin1String(expected)), expected);
        for (const QString &name : named) {
            const QFileInfo built(QDir(QStringLiteral(TESSARY_BUILD_DIR)).filePath(name));
            QVERIFY2(built.isFile() && built.isExecutable(),
                     qPrintable(QStringLiteral("build/%1 is named but not built").arg(name)));
        }
    }

    // The program ./scripts/run.sh starts comes up and waits at its usage
    // box instead of failing at start.
    void windowProgramStarts()
    {
        ProgramRun window(QDir(QStringLiteral(TESSARY_BUILD_DIR)).filePath("tessary"));
        QVERIFY2(window.start({}), qPrintable(window.errorString()));
        // Nothing to await but its staying: a program that fails at start
        // ends within moments.
        const int code = window.waitForEnd(1500);
        QVERIFY2(window.running(),
                 qPrintable(QStringLiteral("ended with %1: %2")
                                .arg(code)
                                .arg(QString::fromLocal8Bit(window.err()))));
    }
};

QTEST_GUILESS_MAIN(DocumentedProgramsTest)
#include "test_documented_programs.moc"
