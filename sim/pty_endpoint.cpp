#include "pty_endpoint.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>

#include <cerrno>
#include <cstring>

namespace halvek::sim {

bool openPtyEndpoint(PtyEndpoint& e, std::string* error) {
    char name[128] = {};
    // A new slave is in cooked mode, which would swallow 0x11, turn CR into LF and echo.
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    if (openpty(&e.master, &e.slave, name, &raw, nullptr) != 0) {
        if (error) *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    fcntl(e.master, F_SETFL, fcntl(e.master, F_GETFL) | O_NONBLOCK);
    fcntl(e.master, F_SETFD, FD_CLOEXEC);
    fcntl(e.slave, F_SETFD, FD_CLOEXEC);
    e.wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    e.devicePath = name;
    return true;
}

}  // namespace halvek::sim
