// Loaded into Wine's processes by the end-to-end tests (LD_PRELOAD), never
// into the program itself, to make a pseudo-terminal behave as a serial port
// on Windows, which refuses and signals less than Wine does:
// - In the program's process, always: line settings whose XON and XOFF
//   characters are equal are refused, as Windows refuses them (Wine puts
//   them into the terminal's start and stop characters).
// - With TAMSEL_PTY_MODEM_STATUS set: the modem-status request is answered.
//   Wine's wait for received characters reads the modem status each time it
//   looks at the port; a pseudo-terminal refuses that request, and Wine then
//   ends every wait as cancelled. With a status to read, the wait wakes on
//   received bytes, as on a real port.
// - With TAMSEL_PTY_NO_COUNT set: the count of received bytes waiting always
//   reads 0, as on drivers that never report it; Wine then neither reports
//   queued bytes nor ends a wait for them, while reads still return them.
// - In Wine's server, which opens every device for the programs: a second
//   opening of a pseudo-terminal's slave side is refused while the first is
//   open, as Windows refuses a second opening of a COM port.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace {

// Linux numbers the slave sides of pseudo-terminals with majors 136 to 143.
bool isPtySlave(int fd) {
    struct stat status = {};
    if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) {
        return false;
    }
    unsigned int kind = major(status.st_rdev);
    return kind >= 136 && kind <= 143;
}

} // namespace

// Wine's server opens every file through open(). A lock per opening: a
// second opening of the same terminal, in this process or another, cannot
// take it.
extern "C" int open(const char* path, int flags, ...) {
    using OpenFunction = int (*)(const char*, int, ...);
    static auto next = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, "open"));
    mode_t mode = 0;
    if ((flags & (O_CREAT | O_TMPFILE)) != 0) {
        va_list rest;
        va_start(rest, flags);
        mode = static_cast<mode_t>(va_arg(rest, int));
        va_end(rest);
    }
    int fd = next != nullptr ? next(path, flags, mode) : -1;
    if (fd < 0 || !isPtySlave(fd) || flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return fd;
    }
    close(fd);
    // Windows refuses a port that another handle holds with access denied,
    // which is what Wine makes of EACCES.
    errno = EACCES;
    return -1;
}

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);

bool modeSet(const char* name) {
    const char* value = getenv(name);
    return value != nullptr && value[0] != '\0';
}

int ioctlThrough(IoctlFunction next, int fd, unsigned long request, void* argument) {
    static const bool answerModemStatus = modeSet("TAMSEL_PTY_MODEM_STATUS");
    static const bool hideQueueCount = modeSet("TAMSEL_PTY_NO_COUNT");
    int result = next != nullptr ? next(fd, request, argument) : -1;
    if (argument == nullptr || !isatty(fd)) {
        return result;
    }
    if (hideQueueCount && request == TIOCINQ && result == 0) {
        *static_cast<int*>(argument) = 0;
        return 0;
    }
    if (!answerModemStatus || result != -1 || request != TIOCMGET) {
        return result;
    }
    int error = errno;
    if (error == EINVAL || error == ENOTTY) {
        // A base that is switched on and ready: data set ready, clear to
        // send, carrier detected.
        *static_cast<int*>(argument) = TIOCM_DSR | TIOCM_CTS | TIOCM_CAR;
        return 0;
    }
    errno = error;
    return result;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    static auto next = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    va_list rest;
    va_start(rest, request);
    void* argument = va_arg(rest, void*);
    va_end(rest);
    return ioctlThrough(next, fd, request, argument);
}

// What 32-bit Wine calls instead, built with 64-bit time.
extern "C" int __ioctl_time64(int fd, unsigned long request, ...) noexcept {
    static auto next = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "__ioctl_time64"));
    va_list rest;
    va_start(rest, request);
    void* argument = va_arg(rest, void*);
    va_end(rest);
    return ioctlThrough(next, fd, request, argument);
}

// Windows refuses equal XON and XOFF characters; Wine writes them into the
// terminal's start and stop characters and would take them.
extern "C" int tcsetattr(int fd, int when, const struct termios* settings) {
    using SetFunction = int (*)(int, int, const struct termios*);
    static auto next = reinterpret_cast<SetFunction>(dlsym(RTLD_NEXT, "tcsetattr"));
    if (settings != nullptr && settings->c_cc[VSTART] == settings->c_cc[VSTOP]) {
        errno = EINVAL;
        return -1;
    }
    return next != nullptr ? next(fd, when, settings) : -1;
}
