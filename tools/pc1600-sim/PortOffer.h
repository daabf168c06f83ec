#pragma once

#include <string>

// Offers the simulator's pseudo-terminal to this user's programs as a serial
// port while it runs: a link to it in $XDG_RUNTIME_DIR/tessary/ports, named
// after what it is, and beside it a lock file held locked, so that a link
// left by a simulator that was killed is known as stale. Says on standard
// error what was offered, or why nothing was. Withdrawn at exit and on
// SIGINT, SIGTERM and SIGHUP.
void offerAsPort(const std::string &device);

// Removes the link and its lock file; no effect when nothing is offered.
// Called while the terminal is still open: once it closes, the system may
// hand its name to another terminal, which the link must never lead to.
void withdrawPort();
