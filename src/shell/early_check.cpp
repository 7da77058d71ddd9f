#include "shell/early_check.h"

#include <algorithm>

namespace quorvix {

void EarlyCheck::Notify(Clock::time_point now) {
  if (!first_) first_ = now;
  last_ = now;
}

std::optional<EarlyCheck::Clock::time_point> EarlyCheck::due() const {
  if (!first_) return std::nullopt;
  return std::min(last_ + kSettle, *first_ + kLongest);
}

std::chrono::milliseconds EarlyCheck::Until(Clock::time_point due) {
  return std::max(std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()),
                  std::chrono::milliseconds(0));
}

}  // namespace quorvix
