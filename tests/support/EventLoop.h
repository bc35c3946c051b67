#pragma once

#include <chrono>
#include <functional>

namespace tavoro::test {

// Generous by design: the machines that run the tests are shared and noisy.
inline constexpr std::chrono::milliseconds kDeadline{30000};

// Runs the event loop until `condition` holds or `deadline` passes; returns the
// condition's last value.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = kDeadline);

// Runs the event loop for `duration`, for checks that something does not happen.
void RunEventsFor(std::chrono::milliseconds duration);

}  // namespace tavoro::test
