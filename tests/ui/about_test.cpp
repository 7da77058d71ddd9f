// The About box's texts.
#include "ui/windows/about.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "build_config.h"

namespace quorvix {
namespace {

std::vector<std::string> SplitAtCrLf(const std::string& text) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    pieces.push_back(text.substr(start, end - start));
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

TEST(About, ThreeParagraphsWithOneEmptyLineBetween) {
  const std::string text = AboutText();
  const std::vector<std::string> expected = {
      std::string(kTradeName) + "(" + std::string(kWebDomain) + ")动态域名解析系统", "",
      "版本号:1.1", "", std::string(kCopyrightLine)};
  EXPECT_EQ(SplitAtCrLf(text), expected);
  // No line end besides the four CR LF pairs: none trails the copyright line.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 4);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
  EXPECT_EQ(SplitAtCrLf(text)[0], "夸维(quorvix.com)动态域名解析系统");
}

TEST(About, WebSiteAddress) {
  EXPECT_EQ(WebSiteAddress(), "http://" + std::string(build::kWebHost));
  EXPECT_EQ(WebSiteAddress().find_first_of(" \r\n/", 7), std::string::npos);
}

}  // namespace
}  // namespace quorvix
