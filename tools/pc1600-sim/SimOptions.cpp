#include "SimOptions.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <iostream>
#include <vector>

void fail(const std::string &reason, int status)
{
    std::cerr << "pc1600-sim: " << reason << std::endl;
    if (status == 2)
        std::cerr << "Try 'pc1600-sim --help' for more information." << std::endl;
    std::exit(status);
}

namespace {

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

} // namespace

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
