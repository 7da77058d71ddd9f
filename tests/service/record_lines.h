// The service's records as one line each, for comparing in tests.
#pragma once

#include <string>
#include <vector>

#include "store/database.h"

namespace quorvix::service {

inline std::vector<std::string> Describe(const std::vector<Record>& records) {
  std::vector<std::string> lines;
  for (const Record& r : records) {
    lines.push_back(r.domain + " " + r.address + " mx=" + (r.mx ? "1" : "0") + " " +
                    std::to_string(r.updated));
  }
  return lines;
}

}  // namespace quorvix::service
