#pragma once

#include <QString>

namespace tavoro {

// Keeps a second copy of the program from running for the same user. The first
// instance holds a lock for as long as its process lives; the system drops it when the
// process ends, however it ends, so a crash never blocks the next start.
class SingleInstance {
public:
    // `name` names the lock; `folder` is where it lives, private to the user (the
    // runtime folder in production).
    SingleInstance(const QString& folder, const QString& name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when no other instance holds the lock. When the lock cannot even be created
    // (an unwritable folder) the program runs anyway: better two copies than none.
    bool IsFirst() const { return first_; }

    // The per-user runtime folder the program uses for its lock.
    static QString RuntimeFolder();

private:
    int fd_ = -1;
    bool first_ = true;
};

}  // namespace tavoro
