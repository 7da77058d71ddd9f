#include "ui/windows/about.h"

#include "base/program_identity.h"
#include "build_config.h"

namespace quorvix {

std::string AboutText() {
  return std::string(kTradeName) + "(" + std::string(kWebDomain) + ")动态域名解析系统" +
         "\r\n\r\n" + "版本号:" + VersionText() + "\r\n\r\n" + std::string(kCopyrightLine);
}

std::string WebSiteAddress() { return "http://" + std::string(build::kWebHost); }

}  // namespace quorvix
