#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tavoro::test {

// While it lives, the calling thread is held to files' permission bits like any other
// user, even when the tests run as root: it gives up the capabilities that let root read,
// write and search past them, and takes them back at the end. Capabilities belong to each
// thread, so the program's other threads keep theirs. A file then fails to open for the
// very reason it would for a user, through the same calls, where a stand-in reader would
// only show what the test expects.
class HeldToPermissionBits {
public:
    HeldToPermissionBits() {
        if (geteuid() != 0) {
            held_ = true;
            return;
        }
        if (syscall(SYS_capget, &header_, saved_) != 0) {
            return;
        }
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        dropped_ = syscall(SYS_capset, &header_, lowered) == 0;
        held_ = dropped_;
    }
    ~HeldToPermissionBits() {
        if (dropped_) {
            syscall(SYS_capset, &header_, saved_);
        }
    }
    HeldToPermissionBits(const HeldToPermissionBits&) = delete;
    HeldToPermissionBits& operator=(const HeldToPermissionBits&) = delete;

    // False when root's capabilities could not be given up: permission bits stop nothing.
    bool held() const { return held_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool dropped_ = false;
    bool held_ = false;
};

}  // namespace tavoro::test
