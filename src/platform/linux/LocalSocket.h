#pragma once

#include <chrono>
#include <string>

namespace tavoro {

// Local stream sockets as the client and the stand-in simulator use them: non-blocking,
// closed on exec, every wait bounded by a deadline.
using LocalDeadline = std::chrono::steady_clock::time_point;

// Milliseconds left before `deadline` for a poll: rounded up, so that a wait never ends
// just before its deadline and turns into a spin of zero-length polls; never negative.
int MillisecondsUntil(LocalDeadline deadline);

// Waits until `fd` is ready for `events` or `deadline` passes; false on time-out or
// error. An interrupted wait goes on.
bool WaitUntilReady(int fd, short events, LocalDeadline deadline);

// Connects a non-blocking stream socket to the socket at `path`, waiting until
// `deadline` at most. Returns the socket, or -1 with errno set: ENAMETOOLONG when the
// path does not fit, ETIMEDOUT when the listener's queue stayed full until the deadline
// (someone listens there but is busy), the connect's own error otherwise.
int ConnectLocalSocket(const std::string& path, LocalDeadline deadline);

}  // namespace tavoro
