// The window watching the system's ports: the CPU it costs while it idles
// with a port open, and how soon an adapter that is plugged in or pulled out
// shows in its port list. Offscreen, with the real watch on /dev (and on a
// folder of its own standing in for adapters that come and go).
//
//   bench_window [--idle-seconds S]
//
// Prints one "name: value" line per figure.

#include "app/Window1.h"
#include "serial/PortList.h"
#include "serial/PortWatcher.h"
#include "support/CpuTime.h"
#include "support/FakeToolkit.h"
#include "support/Files.h"
#include "support/Pty.h"
#include "toolkit/Printing.h"
#include "toolkit/Waiting.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

class NoPrinting : public PrintService {
public:
    std::unique_ptr<PrinterSetup> newPrinterSetup() override { return nullptr; }
};

// Milliseconds until the condition holds, or -1 after 10 s.
template<typename Condition> double msUntil(Condition condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 10000)
            return -1;
        runEventLoop(1);
    }
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int idleSeconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::atoi(argv[i + 1]);
    }

    // The system's ports, a pseudo-terminal the window keeps open, and the
    // nodes of a folder watched beside /dev.
    Pty pty;
    QTemporaryDir adapters;
    if (!pty.isOpen() || !adapters.isValid()) {
        std::fprintf(stderr, "no pseudo-terminal or temporary folder\n");
        return 1;
    }
    SystemPortEnumerator ports([&] {
        QVector<PortDescriptor> list = machinePorts();
        list.append({QStringLiteral("ttyPTY"), pty.slavePath()});
        for (const QString &node : QDir(adapters.path()).entryList(QDir::Files))
            list.append({node, adapters.filePath(node)});
        return list;
    });
    SystemPortWatcher watcher({QStringLiteral("/dev"), QStringLiteral("/dev/serial"),
                               QStringLiteral("/dev/serial/by-id"), adapters.path()});
    RecordingMsgBox msgBox;
    NoPrinting printing;
    QtPause pause;
    QtYield yield;
    Window1 window({&msgBox, &printing, &pause, &yield, &ports, &watcher});
    window.show();
    window.open();
    auto *list = window.findChild<QComboBox *>(QStringLiteral("SerAuswahl"));
    list->setCurrentIndex(list->findText(QStringLiteral("ttyPTY")));
    if (!window.TestSerial1.isOpen()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(pty.slavePath()));
        return 1;
    }
    runEventLoop(500);

    if (idleSeconds > 0) {
        const double before = processCpuSeconds();
        runEventLoop(idleSeconds * 1000);
        std::printf("idle_watching_window_cpu_percent: %.2f\n",
                    100.0 * (processCpuSeconds() - before) / idleSeconds);
    }

    // An adapter comes and goes, five times.
    double worstIn = 0;
    double worstOut = 0;
    for (int round = 0; round < 5; ++round) {
        const QString name = QStringLiteral("ttyUSB%1").arg(round);
        const int rowsBefore = list->count();
        QFile node(adapters.filePath(name));
        if (!node.open(QIODevice::WriteOnly))
            return 1;
        node.close();
        worstIn = std::max(worstIn, msUntil([&] { return list->count() == rowsBefore + 1; }));
        runEventLoop(200);
        QFile::remove(node.fileName());
        worstOut = std::max(worstOut, msUntil([&] { return list->count() == rowsBefore; }));
        runEventLoop(200);
    }
    std::printf("port_appears_in_list_ms_worst: %.1f\n", worstIn);
    std::printf("port_leaves_list_ms_worst: %.1f\n", worstOut);
    return 0;
}
