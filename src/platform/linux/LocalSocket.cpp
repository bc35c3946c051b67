#include "platform/linux/LocalSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace tavoro {

int MillisecondsUntil(LocalDeadline deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool WaitUntilReady(int fd, short events, LocalDeadline deadline) {
    for (;;) {
        pollfd watched{fd, events, 0};
        const int ready = ::poll(&watched, 1, MillisecondsUntil(deadline));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

int ConnectLocalSocket(const std::string& path, LocalDeadline deadline) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    // A local connect completes at once or reports a full queue (EAGAIN): a busy
    // listener rather than a missing one, tried again until the deadline.
    while (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error == EINPROGRESS) {
            if (!WaitUntilReady(fd, POLLOUT, deadline)) {
                error = ETIMEDOUT;
            } else {
                socklen_t size = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
                    error = errno;
                }
            }
            if (error == 0) {
                return fd;
            }
        } else if (error == EAGAIN && MillisecondsUntil(deadline) > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        ::close(fd);
        errno = error == EAGAIN ? ETIMEDOUT : error;
        return -1;
    }
    return fd;
}

}  // namespace tavoro
