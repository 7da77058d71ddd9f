// The About box's text.
#include "ui/windows/about.h"

#include <gtest/gtest.h>

namespace quorvix {
namespace {

TEST(About, ThreeParagraphsWithOneEmptyLineBetweenAndNoneAfter) {
  EXPECT_EQ(
      AboutText(),
      "夸维(quorvix.com)动态域名解析系统\r\n\r\n版本号:1.1\r\n\r\nCopyright (C) 2026 Quorvix");
}

}  // namespace
}  // namespace quorvix
