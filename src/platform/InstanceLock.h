#pragma once

#include <QString>
#include <cstdint>

namespace tavoro {

// A named lock that keeps a second copy of the program from running for the same user.
// The first instance holds it for as long as its process lives; the system drops it when
// the process ends, however it ends, so a crash never blocks the next start.
class InstanceLock {
public:
    // `name` names the lock; `folder` is where it lives, private to the user (the
    // runtime folder in production).
    InstanceLock(const QString& folder, const QString& name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when no other instance holds the lock. When the lock cannot even be created
    // (an unwritable folder) the program runs anyway: better two copies than none.
    bool IsFirst() const { return first_; }

    // The per-user runtime folder the program uses for its lock.
    static QString RuntimeFolder();

private:
    // The system's handle of the held lock; -1 while none is held.
    std::intptr_t handle_ = -1;
    bool first_ = true;
};

}  // namespace tavoro
