// Preloaded into a program under test (LD_PRELOAD): opening an unnamed
// temporary file (O_TMPFILE) fails as on a file system that does not offer
// it (FAT, many network file systems), so the program takes its fallback.
// Everything else goes to the C library.

// With fortified headers the C library's inline open() would clash with ours.
#undef _FORTIFY_SOURCE

#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>

namespace {

using OpenFunction = int (*)(const char *, int, ...);

int refuseOrOpen(const char *name, const char *path, int flags, va_list arguments)
{
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    const mode_t mode = (flags & O_CREAT) ? mode_t(va_arg(arguments, int)) : 0;
    const auto next = reinterpret_cast<OpenFunction>(::dlsym(RTLD_NEXT, name));
    return next(path, flags, mode);
}

} // namespace

extern "C" int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const int fd = refuseOrOpen("open", path, flags, arguments);
    va_end(arguments);
    return fd;
}

extern "C" int open64(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const int fd = refuseOrOpen("open64", path, flags, arguments);
    va_end(arguments);
    return fd;
}
