// Start-up time: from the moment the process is created to the main window
// shown with the usage message box painted over it, offscreen.
//
//   bench_startup [--verbose]
//
// The program starts itself again with --child and notes the time just
// before; the child runs the program's own start-up (App, MainMenuBar,
// Window1, the real message box) and reports the CLOCK_MONOTONIC time once
// the usage box has been painted, then exits without tearing down. Prints
// one line "startup_ms: <value>"; --verbose adds the stages on stderr.

#include "app/App.h"
#include "app/MainMenuBar.h"
#include "app/Window1.h"
#include "texts/Catalogue.h"

#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double nowMs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Waits until both the main window and a message box have been painted,
// then reports once that paint is done.
class UsageBoxWatch : public QObject {
public:
    explicit UsageBoxWatch(double mainEntered) : m_mainEntered(mainEntered) { }
    void stage(const char *name) { m_stages.append({name, nowMs()}); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || m_reported)
            return false;
        m_windowPainted |= qobject_cast<Window1 *>(watched) != nullptr;
        if (auto *box = qobject_cast<QMessageBox *>(watched))
            m_box = box;
        if (m_windowPainted && m_box) {
            m_reported = true;
            QMetaObject::invokeMethod(
                this, [this] { report(m_box); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void report(QMessageBox *box)
    {
        const double shown = nowMs();
        Window1 *window = Window1::instance();
        const bool right = window->isVisible() && box->isVisible() &&
            box->text() == lookupText(TextKey::MsgUsage, kGerman).value_or(QString());
        std::fprintf(stderr, "  main() entered: %.1f ms after the fork\n", m_mainEntered);
        for (const auto &[name, at] : m_stages)
            std::fprintf(stderr, "  %s: +%.1f ms\n", name, at - m_stages.first().second);
        std::fprintf(stderr, "  usage box painted: +%.1f ms\n", shown - m_stages.first().second);
        std::fflush(stderr);
        // Last: the parent stops this process once it has read the line.
        std::printf("%.3f %s\n", shown, right ? "usage" : "wrong-box");
        std::fflush(stdout);
        // Tearing down is not start-up.
        _exit(right ? 0 : 1);
    }

    double m_mainEntered;
    bool m_windowPainted = false;
    bool m_reported = false;
    QMessageBox *m_box = nullptr;
    QList<QPair<const char *, double>> m_stages;
};

int runChild(int argc, char *argv[], double execAt)
{
    const double entered = nowMs() - execAt;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    UsageBoxWatch watch(entered);
    watch.stage("start");
    // What src/main.cpp does.
    App app(argc, argv);
    watch.stage("App");
    app.installEventFilter(&watch);
    MainMenuBar::instance();
    watch.stage("MainMenuBar");
    Window1::instance();
    watch.stage("Window1 built and shown");
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
        int childArgc = 1;
        return runChild(childArgc, argv, std::atof(argv[2]));
    }
    const bool verbose = argc >= 2 && std::strcmp(argv[1], "--verbose") == 0;

    int out[2];
    if (pipe(out) != 0) {
        std::perror("pipe");
        return 1;
    }
    char execAt[64];
    const double started = nowMs();
    std::snprintf(execAt, sizeof execAt, "%.6f", started);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        if (!verbose)
            freopen("/dev/null", "w", stderr);
        close(out[0]);
        close(out[1]);
        execl("/proc/self/exe", argv[0], "--child", execAt, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);

    char line[128] = {};
    size_t used = 0;
    pollfd p {out[0], POLLIN, 0};
    while (used + 1 < sizeof line && std::memchr(line, '\n', used) == nullptr) {
        if (poll(&p, 1, 30000) <= 0)
            break;
        const ssize_t n = read(out[0], line + used, sizeof line - 1 - used);
        if (n <= 0)
            break;
        used += size_t(n);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    double shown = 0;
    char what[32] = {};
    if (std::sscanf(line, "%lf %31s", &shown, what) != 2 || std::strcmp(what, "usage") != 0) {
        std::fprintf(stderr, "the child did not show the usage box: '%s'\n", line);
        return 1;
    }
    std::printf("startup_ms: %.1f\n", shown - started);
    return 0;
}
