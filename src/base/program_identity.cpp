#include "base/program_identity.h"

#include "build_config.h"

namespace quorvix {

std::string VersionText() {
  return std::to_string(build::kVersionMajor) + "." + std::to_string(build::kVersionMinor);
}

std::string VersionedLine(std::string_view baseName, std::string_view what) {
  return std::string(baseName) + "(ver" + VersionText() + ")" + std::string(what);
}

}  // namespace quorvix
