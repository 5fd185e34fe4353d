// File permissions for a test that runs as root.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lyt::test {

// File permissions hold for this thread as they do for the user at the seat, root or not.
class WithoutPermissionOverride {
public:
  WithoutPermissionOverride() {
    ::syscall(SYS_capget, &header_, saved_);
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    ::syscall(SYS_capset, &header_, reduced);
  }
  ~WithoutPermissionOverride() { ::syscall(SYS_capset, &header_, saved_); }
  WithoutPermissionOverride(const WithoutPermissionOverride &) = delete;
  WithoutPermissionOverride &operator=(const WithoutPermissionOverride &) = delete;

private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
};

} // namespace lyt::test
