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

extern "C" int open(const char *path, int flags, ...)
{
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list arguments;
        va_start(arguments, flags);
        mode = mode_t(va_arg(arguments, int));
        va_end(arguments);
    }
    using Open = int (*)(const char *, int, ...);
    static const auto next = reinterpret_cast<Open>(::dlsym(RTLD_NEXT, "open64"));
    return next(path, flags, mode);
}

// The same under its large-file name, which Qt calls.
extern "C" int open64(const char *path, int flags, ...) __attribute__((alias("open")));
