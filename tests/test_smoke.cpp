#include "toolkit/Waiting.h"
#include <QtTest>
class SmokeTest : public QObject {
    Q_OBJECT
private slots:
    void pauseWaits()
    {
        QElapsedTimer t;
        t.start();
        QtPause p;
        p.sleep(50);
        QVERIFY(t.elapsed() >= 45);
    }
};
QTEST_MAIN(SmokeTest)
#include "test_smoke.moc"
