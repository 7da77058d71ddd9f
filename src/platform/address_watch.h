// Tells when the machine's own IPv4 addresses or its default route change (a new lease, a
// redial, another network), so a client can look at its public address at once instead of at
// its next half-hourly check. Nothing here blocks: the front-end's loop waits on `waitable()`
// beside its timer and then takes what arrived.
#pragma once

#include <memory>

#include "platform/waitable.h"

namespace quorvix::platform {

class AddressWatch {
 public:
  virtual ~AddressWatch() = default;

  // Ready when a change may have arrived; kNoWaitable when this watch never reports anything.
  virtual Waitable waitable() const = 0;

  // Takes every pending notification without blocking and re-arms the watch; true when at
  // least one of them reported a change of an address or of the default route.
  virtual bool TakeChanges() = 0;
};

// The machine's watch: a netlink socket on Linux, NotifyAddrChange on Windows. Elsewhere, or
// when the source cannot be opened, a watch that reports nothing: the half-hourly check still
// runs.
std::unique_ptr<AddressWatch> OpenAddressWatch();

}  // namespace quorvix::platform
