#include "PortOffer.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The port list shows it as "PC-1600 simulator (/dev/pts/N)".
const char kLabel[] = "PC-1600 simulator";

// Where a signal handler finds them without allocating.
char g_link[PATH_MAX];
char g_lock[PATH_MAX];
int g_lockHandle = -1;

void say(const std::string &text)
{
    std::cerr << "pc1600-sim: " << text << std::endl;
}

std::string withReason(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

// The folder ports are offered in, made when missing. Programs list only
// one that is the user's own and closed to others; empty, with the reason,
// when there is no such folder.
std::string portsFolder(std::string &why)
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] != '/') {
        why = "XDG_RUNTIME_DIR is not set";
        return {};
    }
    std::string folder = runtime;
    for (const char *part : {"/tessary", "/ports"}) {
        folder += part;
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            why = withReason("cannot make " + folder);
            return {};
        }
    }
    struct stat st { };
    if (::lstat(folder.c_str(), &st) != 0) {
        why = withReason(folder);
        return {};
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        why = folder + " is not a folder of this user's alone";
        return {};
    }
    return folder;
}

// A program that lists the ports holds the lock for an instant to see
// whether anyone does: wait that out, but not for ever.
bool lockFor(int handle)
{
    for (int tries = 0; tries < 100; ++tries) {
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Only what a signal handler may call.
void removeFiles()
{
    if (g_link[0])
        ::unlink(g_link);
    if (g_lock[0])
        ::unlink(g_lock);
}

// The handler is reset on entry: the signal raised again ends the program
// as it would have without it.
void withdrawAndEnd(int signalNumber)
{
    removeFiles();
    ::raise(signalNumber);
}

void withdrawOnExit()
{
    struct sigaction action { };
    action.sa_handler = withdrawAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signalNumber, &action, nullptr);
    std::atexit(withdrawPort);
}

// The link, made beside it and renamed over a stale one of a killed
// simulator, so that a listing never sees it half made. Empty when done.
std::string makeLink(const std::string &folder, const std::string &device, const std::string &link)
{
    const std::string fresh = folder + "/.new-" + std::to_string(::getpid());
    ::unlink(fresh.c_str());
    if (::symlink(device.c_str(), fresh.c_str()) == 0 && ::rename(fresh.c_str(), link.c_str()) == 0)
        return {};
    const std::string why = withReason("cannot make " + link);
    ::unlink(fresh.c_str());
    return why;
}

} // namespace

void offerAsPort(const std::string &device)
{
    std::string why;
    const std::string folder = portsFolder(why);
    // The terminal's number makes the name unique among running simulators.
    const std::string link = folder + '/' + kLabel + ".pts" + device.substr(device.rfind('/') + 1);
    const std::string lock = link + ".lock";
    if (why.empty() && lock.size() >= sizeof g_lock)
        why = "the path " + lock + " is too long";
    if (why.empty()) {
        g_lockHandle = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (g_lockHandle < 0)
            why = withReason("cannot make " + lock);
        else if (!lockFor(g_lockHandle))
            why = lock + " is held by another program";
        else if (!(why = makeLink(folder, device, link)).empty())
            ::unlink(lock.c_str());
    }
    if (!why.empty()) {
        if (g_lockHandle >= 0)
            ::close(g_lockHandle);
        g_lockHandle = -1;
        say(device + " is not offered as a port: " + why);
        return;
    }
    std::strcpy(g_link, link.c_str());
    std::strcpy(g_lock, lock.c_str());
    withdrawOnExit();
    say(std::string("offered as the port \"") + kLabel + " (" + device + ")\"");
}

void withdrawPort()
{
    removeFiles();
    g_link[0] = '\0';
    g_lock[0] = '\0';
    if (g_lockHandle >= 0)
        ::close(g_lockHandle);
    g_lockHandle = -1;
}
