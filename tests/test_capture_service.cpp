#include "support/Files.h"
#include "support/Process.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// tessary-capture@.service as the package installs it, checked by systemd's
// own tools on an instance for /dev/ttyUSB0. Its program is the one just
// built, since systemd-analyze wants the command to exist.
class CaptureServiceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        QVERIFY2(!m_analyze.isEmpty(), "systemd-analyze is missing (Debian package systemd)");
        QVERIFY(m_dir.isValid());
        QByteArray unit = contentOf(QStringLiteral(TESSARY_CAPTURE_UNIT));
        const qsizetype at = unit.indexOf("ExecStart=");
        QVERIFY2(at >= 0, unit.constData());
        const qsizetype program = at + qstrlen("ExecStart=");
        unit.replace(program, unit.indexOf(' ', program) - program, TESSARY_CAPTURE_PATH);
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("tessary-capture@.service")), unit));
        m_instance = m_dir.filePath(QStringLiteral("tessary-capture@ttyUSB0.service"));
    }

    void instanceVerifies()
    {
        const ProcessResult result = runProcess(
            m_analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"), m_instance});
        QVERIFY2(result.exitCode == 0 && result.err.isEmpty(), result.err.constData());
    }

    // systemd's own measure of what the service could do if it went wrong,
    // no worse than as written (systemd 252): each protection taken away
    // raises it (no ProtectSystem= 1.8, no User= 2.0).
    void instanceIsHardened()
    {
        const ProcessResult result = runProcess(
            m_analyze, {QStringLiteral("security"), QStringLiteral("--offline=yes"), m_instance});
        const QRegularExpressionMatch level =
            QRegularExpression(QStringLiteral("Overall exposure level for \\S+: ([0-9.]+)"))
                .match(QString::fromUtf8(result.out));
        QVERIFY2(level.hasMatch(), result.out.right(300) + result.err);
        QVERIFY2(level.captured(1).toDouble() <= 1.6, qPrintable(level.captured(0)));
    }

private:
    QString m_analyze;
    QTemporaryDir m_dir;
    QString m_instance;
};

QTEST_GUILESS_MAIN(CaptureServiceTest)
#include "test_capture_service.moc"
