// File permissions as an ordinary user meets them, also where the tests run
// as root: root's power to read and write past a file's permission bits
// (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH) is put aside.
#pragma once

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace korvane {

// While it lives, the calling thread (and the threads it starts) obey
// permission bits. Capabilities are per thread: other threads keep theirs.
class PermissionBitsObeyed {
public:
    PermissionBitsObeyed() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~PermissionBitsObeyed() {
        if (lowered_) ::syscall(SYS_capset, &header_, saved_);
    }
    PermissionBitsObeyed(const PermissionBitsObeyed&) = delete;
    PermissionBitsObeyed& operator=(const PermissionBitsObeyed&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool lowered_ = false;
};

// In a child process before exec: the program it runs obeys permission bits
// even when started as root (the capabilities leave the bounding set, which
// exec cannot give back).
inline void obeyPermissionBitsAfterExec() {
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

}  // namespace korvane
