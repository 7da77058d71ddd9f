#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>

#include "platform/address_watch.h"

namespace quorvix::platform {
namespace {

// NotifyAddrChange in its overlapped form: the event is set when the IPv4 address table
// changes; every notification needs a new request.
class NotifyAddressWatch final : public AddressWatch {
 public:
  explicit NotifyAddressWatch(HANDLE event) { overlapped_.hEvent = event; }
  ~NotifyAddressWatch() override {
    if (armed_) CancelIPChangeNotify(&overlapped_);
    CloseHandle(overlapped_.hEvent);
  }

  bool Arm() {
    HANDLE ignored = nullptr;
    const DWORD result = NotifyAddrChange(&ignored, &overlapped_);
    armed_ = result == ERROR_IO_PENDING;
    return armed_;
  }

  Waitable waitable() const override { return armed_ ? overlapped_.hEvent : nullptr; }

  bool TakeChanges() override {
    if (!armed_ || WaitForSingleObject(overlapped_.hEvent, 0) != WAIT_OBJECT_0) return false;
    ResetEvent(overlapped_.hEvent);
    Arm();
    return true;
  }

 private:
  OVERLAPPED overlapped_{};
  bool armed_ = false;
};

class SilentAddressWatch final : public AddressWatch {
 public:
  Waitable waitable() const override { return nullptr; }
  bool TakeChanges() override { return false; }
};

}  // namespace

std::unique_ptr<AddressWatch> OpenAddressWatch() {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return std::make_unique<SilentAddressWatch>();
  auto watch = std::make_unique<NotifyAddressWatch>(event);
  if (!watch->Arm()) return std::make_unique<SilentAddressWatch>();
  return watch;
}

}  // namespace quorvix::platform
