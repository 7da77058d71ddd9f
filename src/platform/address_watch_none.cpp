// POSIX systems without netlink: no notifications; the half-hourly check still runs.
#include "platform/address_watch.h"

namespace quorvix::platform {
namespace {

class SilentAddressWatch final : public AddressWatch {
 public:
  Waitable waitable() const override { return -1; }
  bool TakeChanges() override { return false; }
};

}  // namespace

std::unique_ptr<AddressWatch> OpenAddressWatch() { return std::make_unique<SilentAddressWatch>(); }

}  // namespace quorvix::platform
