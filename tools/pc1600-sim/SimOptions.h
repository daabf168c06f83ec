#pragma once

// What pc1600-sim is asked to do, read from its command line; --help, and
// the messages that end it.

#include <string>
#include <termios.h>

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

// Says "pc1600-sim: reason" and ends with `status`; 2 is bad usage, which
// also points to --help.
[[noreturn]] void fail(const std::string &reason, int status = 1);

// The options and FILE; --help and bad usage end the program here.
Options parse(int argc, char **argv);
