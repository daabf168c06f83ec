// tessary-capture as a user runs it, over a pseudo-terminal: a large listing
// sent as fast as it goes (bytes lost, peak memory), its CPU on a silent
// open port and after a hang-up, and the time from the last byte to the
// job's file on disk.
//
//   bench_capture_tool TESSARY_CAPTURE WORKDIR [--megabytes N] [--idle-seconds S]
//
// Prints one "name: value" line per figure.

#include "support/Listings.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "bench_capture_tool: %s\n", what.c_str());
    std::exit(1);
}

struct PseudoTerminal {
    int master = -1;
    int slave = -1; // held, so nothing is lost before the program opens it
    std::string path;

    PseudoTerminal()
    {
        char name[PATH_MAX] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            fail(std::string("openpty: ") + std::strerror(errno));
        termios raw {};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);
        path = name;
    }
    ~PseudoTerminal()
    {
        closeMaster();
        if (slave >= 0)
            ::close(slave);
    }
    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    void writeAll(const char *data, size_t size) const
    {
        while (size > 0) {
            const ssize_t n = ::write(master, data, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                fail(std::string("write: ") + std::strerror(errno));
            }
            data += n;
            size -= size_t(n);
        }
    }
    // Bytes written that the reader has not taken yet.
    int pending() const
    {
        int n = 0;
        return ::ioctl(slave, FIONREAD, &n) == 0 ? n : -1;
    }
};

// The program, started with its output thrown away.
struct Program {
    pid_t pid = -1;
    rusage usage {};
    int status = -1;

    Program(const std::string &path, const std::vector<std::string> &arguments)
    {
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(path.c_str()));
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        pid = ::fork();
        if (pid < 0)
            fail("fork failed");
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::execv(path.c_str(), argv.data());
            std::_Exit(127);
        }
    }
    bool holds(const std::string &device) const
    {
        const std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
        for (int fd = 0; fd < 64; ++fd) {
            char target[PATH_MAX] = {};
            const ssize_t n =
                ::readlink((fds + std::to_string(fd)).c_str(), target, sizeof target - 1);
            if (n > 0 && device == std::string(target, size_t(n)))
                return true;
        }
        return false;
    }
    void waitUntilItHolds(const std::string &device) const
    {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (!holds(device)) {
            if (Clock::now() > deadline)
                fail("the program never opened " + device);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    double cpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos)
            return -1;
        std::vector<std::string> fields;
        std::string field;
        for (size_t i = close + 2; i <= line.size(); ++i) {
            if (i == line.size() || line[i] == ' ') {
                fields.push_back(field);
                field.clear();
            } else {
                field += line[i];
            }
        }
        if (fields.size() < 13)
            return -1;
        return (std::stod(fields[11]) + std::stod(fields[12])) / double(::sysconf(_SC_CLK_TCK));
    }
    void end(int signalNumber = 0)
    {
        if (signalNumber)
            ::kill(pid, signalNumber);
        if (::wait4(pid, &status, 0, &usage) != pid)
            fail("wait4 failed");
    }
};

std::vector<std::string> filesIn(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *entry = ::readdir(d)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0)
                names.push_back(dir + "/" + name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string contentOf(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string freshDir(const std::string &work, const char *name)
{
    const std::string dir = work + "/" + name;
    ::mkdir(dir.c_str(), 0755);
    for (const std::string &file : filesIn(dir))
        ::unlink(file.c_str());
    return dir;
}

// Peak memory of a run that takes one tiny job: the program's own baseline.
long baselinePeakKb(const std::string &program, const std::string &work)
{
    PseudoTerminal pty;
    const std::string dir = freshDir(work, "baseline");
    Program run(program, {"--port", pty.path, "--out", dir, "--quiet-ms", "200", "--once"});
    run.waitUntilItHolds(pty.path);
    const std::string job = "10 PRINT \"BASELINE\"\r\n";
    pty.writeAll(job.data(), job.size());
    run.end();
    return run.usage.ru_maxrss;
}

void benchLargeJob(const std::string &program, const std::string &work, int megabytes)
{
    const long baselineKb = baselinePeakKb(program, work);
    // Lines of 22 to 82 bytes: more than enough of them, cut to size.
    const QByteArray listing = basicListing(megabytes * 1024 * 1024 / 22 + 1);
    const std::string data(listing.constData(), size_t(megabytes) * 1024 * 1024);

    PseudoTerminal pty;
    const std::string dir = freshDir(work, "large");
    Program run(program, {"--port", pty.path, "--out", dir, "--quiet-ms", "1000", "--once"});
    run.waitUntilItHolds(pty.path);
    const auto start = Clock::now();
    pty.writeAll(data.data(), data.size());
    while (pty.pending() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double sendSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.end();

    const std::vector<std::string> files = filesIn(dir);
    std::string saved;
    for (const std::string &file : files)
        saved += contentOf(file);
    const long lost = long(data.size()) - long(saved.size());
    const long peakKb = run.usage.ru_maxrss;
    std::printf("capture_tool_bytes_sent: %zu\n", data.size());
    std::printf("capture_tool_bytes_lost: %ld\n", std::max(0L, lost));
    std::printf("capture_tool_identical: %s\n", saved == data ? "yes" : "no");
    std::printf("capture_tool_jobs: %zu\n", files.size());
    std::printf("capture_tool_send_mb_per_second: %.1f\n", megabytes / sendSeconds);
    std::printf("capture_tool_baseline_mb: %.1f\n", baselineKb / 1024.0);
    std::printf("capture_tool_peak_mb: %.1f\n", peakKb / 1024.0);
    std::printf("capture_tool_peak_over_baseline_per_input: %.2f\n",
                (peakKb - baselineKb) * 1024.0 / double(data.size()));
}

void benchIdle(const std::string &program, const std::string &work, int seconds)
{
    PseudoTerminal pty;
    const std::string dir = freshDir(work, "idle");
    Program run(program, {"--port", pty.path, "--out", dir});
    run.waitUntilItHolds(pty.path);
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // start-up is not idling

    double before = run.cpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double open = run.cpuSeconds() - before;

    // The other side hangs up; the dead device stays there and keeps
    // failing to open.
    pty.closeMaster();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    before = run.cpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double hungUp = run.cpuSeconds() - before;
    run.end(SIGTERM);

    std::printf("idle_capture_tool_open_cpu_percent: %.2f\n", 100.0 * open / seconds);
    std::printf("idle_capture_tool_hangup_cpu_percent: %.2f\n", 100.0 * hungUp / seconds);
}

void benchLatency(const std::string &program, const std::string &work)
{
    constexpr int kQuietMs = 1000;
    constexpr int kRounds = 5;
    PseudoTerminal pty;
    const std::string dir = freshDir(work, "latency");
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 || ::inotify_add_watch(watch, dir.c_str(), IN_CREATE | IN_MOVED_TO) < 0)
        fail("inotify failed");
    Program run(program,
                {"--port", pty.path, "--out", dir, "--quiet-ms", std::to_string(kQuietMs)});
    run.waitUntilItHolds(pty.path);

    // Less than the 4 KB a pseudo-terminal's line holds: when the reader has
    // emptied it, it has all of the job.
    const QByteArray job = basicListing(50);
    double worst = 0;
    double total = 0;
    // Round 0 only lets the program finish starting: bytes written while it
    // does are not yet on its line when the loop below finds the line empty.
    for (int round = 0; round <= kRounds; ++round) {
        pty.writeAll(job.constData(), size_t(job.size()));
        while (pty.pending() > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto lastByte = Clock::now();
        // Until a .txt takes its name in the folder.
        bool named = false;
        while (!named) {
            pollfd p {watch, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0)
                fail("no job file appeared");
            alignas(inotify_event) char buffer[4096];
            const ssize_t n = ::read(watch, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                const std::string name = event->len ? event->name : "";
                if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0)
                    named = true;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        const double ms =
            std::chrono::duration<double, std::milli>(Clock::now() - lastByte).count();
        if (round == 0)
            continue;
        worst = std::max(worst, ms);
        total += ms;
    }
    run.end(SIGTERM);
    ::close(watch);
    std::printf("capture_tool_latency_quiet_ms: %d\n", kQuietMs);
    std::printf("capture_tool_latency_over_quiet_ms_mean: %.1f\n", total / kRounds - kQuietMs);
    std::printf("capture_tool_latency_over_quiet_ms_worst: %.1f\n", worst - kQuietMs);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3)
        fail(
            "usage: bench_capture_tool TESSARY_CAPTURE WORKDIR [--megabytes N] [--idle-seconds S]");
    const std::string program = argv[1];
    const std::string work = argv[2];
    int megabytes = 10;
    int idleSeconds = 10;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--megabytes") == 0)
            megabytes = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::atoi(argv[i + 1]);
    }
    benchLargeJob(program, work, megabytes);
    benchLatency(program, work);
    if (idleSeconds > 0)
        benchIdle(program, work, idleSeconds);
    return 0;
}
