// A simulated Sharp PC-1600 printing a listing over its serial port: sends a
// text file (as it is, or written in UTF-8) over a serial device or a fresh
// pseudo-terminal, at the pace of the baud rate, one line per burst with a
// short pause between bursts. A pseudo-terminal, offered as a port while it
// runs, waits for a reader and hangs up only once it has read all.

#include "PortOffer.h"
#include "SimOptions.h"
#include "Utf8Listing.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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
