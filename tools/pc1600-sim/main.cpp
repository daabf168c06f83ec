// A simulated Sharp PC-1600 printing a listing over its serial port: sends a
// text file (as it is, or written in UTF-8) over a serial device or a fresh
// pseudo-terminal, at the pace of the baud rate, one line per burst with a
// short pause between bursts. A pseudo-terminal, offered as a port while it
// runs, waits for a reader and hangs up only once it has read all.

#include "PortOffer.h"
#include "Utf8Listing.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <iostream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string file;
    std::string device;
    long baud = 9600;
    speed_t speed = B9600;
    long pauseMs = 100;
    long burstLines = 1;
    long repeat = 1;
    long waitMs = 0;
    bool waitLine = false;
    long lingerMs = 10000;
    bool fromUtf8 = false;
};

// Status 2 is bad usage, which points to --help.
[[noreturn]] void fail(const std::string &reason, int status = 1)
{
    std::cerr << "pc1600-sim: " << reason << std::endl;
    if (status == 2)
        std::cerr << "Try 'pc1600-sim --help' for more information." << std::endl;
    std::exit(status);
}

long number(const char *option, const char *text, long min, long max)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < min || value > max)
        fail(std::string(option) + " needs a number from " + std::to_string(min) + " to " +
                 std::to_string(max),
             2);
    return value;
}

// The rates the termios code can set; a pseudo-terminal takes only these
// too, so that what runs on one runs on a real line.
const struct {
    long baud;
    speed_t code;
} kRates[] = {{300, B300},   {600, B600},     {1200, B1200},   {2400, B2400},   {4800, B4800},
              {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

// Says the rates as tessary-capture says its own.
void setBaud(Options &options, const char *text)
{
    std::string rates;
    for (const auto &rate : kRates) {
        if (std::to_string(rate.baud) == text) {
            options.baud = rate.baud;
            options.speed = rate.code;
            return;
        }
        rates += std::to_string(rate.baud) + ", ";
    }
    fail("--baud takes " + rates + "not \"" + text + "\"", 2);
}

// Every option once: how --help shows it, and what it sets.
struct OptionRow {
    const char *name;
    const char *valueName; // none for a flag
    const char *description;
    void (*set)(Options &options, const char *value);
};

const OptionRow kOptions[] = {
    {"pty", nullptr, "send over a new pseudo-terminal, offered as a port (default)",
     [](Options &o, const char *) { o.device.clear(); }},
    {"device", "PATH", "send over this serial device instead",
     [](Options &o, const char *v) { o.device = v; }},
    {"baud", "N",
     "line speed (default 9600): 300, 600, 1200, 2400,\n"
     "                     4800, 9600, 19200, 38400, 57600 or 115200",
     setBaud},
    {"pause-ms", "N", "pause between bursts (default 100)",
     [](Options &o, const char *v) { o.pauseMs = number("--pause-ms", v, 0, 3600000); }},
    {"burst-lines", "N", "lines per burst (default 1)",
     [](Options &o, const char *v) { o.burstLines = number("--burst-lines", v, 1, LONG_MAX); }},
    {"repeat", "N", "send the file N times (default 1)",
     [](Options &o, const char *v) { o.repeat = number("--repeat", v, 1, 1000000); }},
    {"wait-ms", "N", "wait N ms before sending (default 0)",
     [](Options &o, const char *v) { o.waitMs = number("--wait-ms", v, 0, 3600000); }},
    {"wait-line", nullptr, "wait for a line on standard input before sending",
     [](Options &o, const char *) { o.waitLine = true; }},
    {"linger-ms", "N", "wait at most N ms for the reader to close (default 10000)",
     [](Options &o, const char *v) { o.lingerMs = number("--linger-ms", v, 0, 3600000); }},
    {"from-utf8", nullptr,
     "FILE is UTF-8: send the PC-1600's bytes for its\n"
     "                     characters (code page 437 above 127)",
     [](Options &o, const char *) { o.fromUtf8 = true; }},
    {"help", nullptr, "display this help and exit", nullptr},
};

// --help, its rows made from the descriptions above.
void printHelp()
{
    std::printf("Usage: pc1600-sim [OPTION]... FILE\n"
                "Sends FILE (\"-\" for standard input) like a PC-1600 running LLIST, one line a\n"
                "burst at the pace of the baud rate. The first line written to standard output\n"
                "is the device it sends on. On a pseudo-terminal, sending starts once a program\n"
                "has opened it; the listing is held until that program has read it all, and\n"
                "then the pseudo-terminal hangs up when the program closes it, or after\n"
                "--linger-ms. About ten bits go over the line per byte. FILE is sent byte for\n"
                "byte, unless --from-utf8 is given.\n\nOptions:\n");
    for (const OptionRow &row : kOptions) {
        const std::string names = (row.set ? "--" : "-h, --") + std::string(row.name) +
            (row.valueName ? std::string(" ") + row.valueName : "");
        std::printf("  %-17s  %s\n", names.c_str(), row.description);
    }
    std::printf("\nExit status: 0 when everything was sent, 1 on an error, 2 on bad usage.\n"
                "\nFull documentation: man pc1600-sim\n");
}

Options parse(int argc, char **argv)
{
    std::vector<option> longOptions;
    for (const OptionRow &row : kOptions)
        longOptions.push_back({row.name, row.valueName ? required_argument : no_argument, nullptr,
                               row.set ? 0 : 'h'});
    longOptions.push_back({nullptr, 0, nullptr, 0});
    Options options;
    opterr = 0; // what is wrong is said here, under the program's own name
    int row = 0;
    for (int code; (code = getopt_long(argc, argv, ":h", longOptions.data(), &row)) != -1;) {
        if (code == 'h') {
            printHelp();
            std::exit(0);
        }
        if (code == ':')
            fail(std::string("option '") + argv[optind - 1] + "' requires an argument", 2);
        if (code != 0)
            fail(std::string("unrecognized option '") + argv[optind - 1] + "'", 2);
        kOptions[row].set(options, optarg);
    }
    if (optind >= argc)
        fail("no file given", 2);
    if (argc - optind > 1)
        fail("more than one file given", 2);
    options.file = argv[optind];
    return options;
}

std::string readFile(const std::string &path)
{
    FILE *f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!f)
        fail("cannot read " + path + ": " + std::strerror(errno));
    std::string text;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    if (std::ferror(f))
        fail("cannot read " + path + ": " + std::strerror(errno));
    if (f != stdin)
        std::fclose(f);
    return text;
}

void makeRaw(int fd, speed_t speed)
{
    termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        fail(std::string("cannot read the line settings: ") + std::strerror(errno));
    ::cfmakeraw(&tio);
    // Exactly 8N1 with no handshake, whatever the port was left with:
    // cfmakeraw keeps the stop bits, RTS/CTS and XOFF.
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    ::cfsetspeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        fail(std::string("cannot set the line settings: ") + std::strerror(errno));
}

// Splits after each line end: LF, or a CR not followed by LF.
std::vector<std::string> bursts(const std::string &text, long linesPerBurst)
{
    std::vector<std::string> result;
    std::string current;
    long lines = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        current += text[i];
        const bool lineEnd =
            text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
        if (lineEnd && ++lines == linesPerBurst) {
            result.push_back(std::move(current));
            current.clear();
            lines = 0;
        }
    }
    if (!current.empty())
        result.push_back(std::move(current));
    return result;
}

void writeFully(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(std::string("cannot send: ") + std::strerror(errno));
        }
        data += n;
        size -= size_t(n);
    }
}

// Sends in slices of about 10 ms of line time, each at its due moment, so a
// reader sees the bytes trickle in as from a real line.
void send(int fd, const std::vector<std::string> &parts, long repeat, const Options &options)
{
    const double bytesPerSecond = options.baud / 10.0;
    const size_t slice = std::max<size_t>(1, size_t(bytesPerSecond / 100));
    auto due = Clock::now();
    for (long r = 0; r < repeat; ++r) {
        for (size_t p = 0; p < parts.size(); ++p) {
            const std::string &part = parts[p];
            for (size_t at = 0; at < part.size(); at += slice) {
                const size_t n = std::min(slice, part.size() - at);
                std::this_thread::sleep_until(due);
                writeFully(fd, part.data() + at, n);
                due += std::chrono::microseconds(long(n * 1e6 / bytesPerSecond));
            }
            const bool last = r + 1 == repeat && p + 1 == parts.size();
            if (!last)
                due += std::chrono::milliseconds(options.pauseMs);
        }
    }
    std::this_thread::sleep_until(due);
}

// Whether any program holds the pseudo-terminal's slave side open, seen
// from the master: the master hangs up while nobody does.
bool readerPresent(int master)
{
    pollfd p {master, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP) == 0;
}

constexpr auto kLookEvery = std::chrono::milliseconds(20);

// Sends nothing before a reader is there: what is written into a
// pseudo-terminal that nobody holds open is thrown away when the first
// reader comes. Takes our own hold on the slave side again once it is
// there, so its input survives the reader closing and reopening it.
int awaitReader(int master, const std::string &path)
{
    if (!readerPresent(master)) {
        std::cerr << "pc1600-sim: waiting for a program to open " << path << std::endl;
        while (!readerPresent(master))
            std::this_thread::sleep_for(kLookEvery);
    }
    const int slave = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0)
        fail("cannot hold " + path + " open: " + std::strerror(errno));
    return slave;
}

// Hangs up only once the reader has everything: bytes still waiting in the
// slave's input when the master closes are lost. Then gives the reader up
// to lingerMs to close its side by itself.
void hangUpWhenRead(int master, int slave, const std::string &path, long lingerMs)
{
    bool said = false;
    const auto since = Clock::now();
    for (int waiting = 0; ::ioctl(slave, FIONREAD, &waiting) == 0 && waiting > 0;) {
        if (!said && Clock::now() - since > std::chrono::seconds(1)) {
            std::cerr << "pc1600-sim: waiting for a program to read the last " << waiting
                      << " bytes from " << path << std::endl;
            said = true;
        }
        std::this_thread::sleep_for(kLookEvery);
    }
    ::close(slave);
    const auto deadline = Clock::now() + std::chrono::milliseconds(lingerMs);
    while (readerPresent(master) && Clock::now() < deadline)
        std::this_thread::sleep_for(kLookEvery);
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parse(argc, argv);
    std::string text = readFile(options.file);
    if (options.fromUtf8) {
        std::string error;
        std::optional<std::string> bytes = pc1600BytesOfUtf8(text, error);
        if (!bytes)
            fail(error, 2);
        text = std::move(*bytes);
    }

    int fd = -1;
    int slave = -1;
    std::string path;
    if (options.device.empty()) {
        char name[PATH_MAX] = {};
        if (::openpty(&fd, &slave, name, nullptr, nullptr) != 0)
            fail(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
        // Raw until the reader sets the line: the setting outlives our
        // hold on the slave side, which goes until a reader is there.
        makeRaw(slave, options.speed);
        ::close(slave);
        slave = -1;
        path = name;
    } else {
        // Without O_NONBLOCK the open waits for a carrier that a null-modem
        // cable may never raise; CLOCAL (set by makeRaw) ignores it after.
        fd = ::open(options.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            fail("cannot open " + options.device + ": " + std::strerror(errno));
        makeRaw(fd, options.speed);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        path = options.device;
    }
    if (options.device.empty())
        offerAsPort(path);
    std::cout << path << std::endl;

    if (options.device.empty())
        slave = awaitReader(fd, path);
    if (options.waitLine) {
        std::string line;
        std::getline(std::cin, line);
    }
    if (options.waitMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(options.waitMs));

    send(fd, bursts(text, options.burstLines), options.repeat, options);

    if (slave >= 0) {
        hangUpWhenRead(fd, slave, path, options.lingerMs);
    } else {
        ::tcdrain(fd);
    }
    withdrawPort();
    ::close(fd);
    return 0;
}
