// What a loop can wait on beside its timer.
#pragma once

namespace quorvix::platform {

#ifdef _WIN32
using Waitable = void*;  // an event handle; null for none
inline constexpr Waitable kNoWaitable = nullptr;
#else
using Waitable = int;  // a descriptor that turns readable; -1 for none
inline constexpr Waitable kNoWaitable = -1;
#endif

}  // namespace quorvix::platform
