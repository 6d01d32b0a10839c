// Loaded into the Wine process of the program under test (LD_PRELOAD), never
// into the program itself: makes a pseudo-terminal answer the modem-status
// request as a serial port does. Wine's wait for received characters reads
// the modem status each time it looks at the port; a pseudo-terminal refuses
// that request, and Wine then ends every wait as cancelled. With a status to
// read, the wait wakes on received bytes, as it does on a real port.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);

IoctlFunction systemIoctl() {
    static IoctlFunction next = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    return next;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list rest;
    va_start(rest, request);
    void* argument = va_arg(rest, void*);
    va_end(rest);

    IoctlFunction next = systemIoctl();
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    int result = next(fd, request, argument);
    if (result != -1 || request != TIOCMGET || argument == nullptr) {
        return result;
    }
    int error = errno;
    if ((error == EINVAL || error == ENOTTY) && isatty(fd)) {
        // A base that is switched on and ready: data set ready, clear to
        // send, carrier detected.
        *static_cast<int*>(argument) = TIOCM_DSR | TIOCM_CTS | TIOCM_CAR;
        return 0;
    }
    errno = error;
    return result;
}
