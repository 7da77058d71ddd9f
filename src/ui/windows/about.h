// The About box's texts.
#pragma once

#include <string>
#include <string_view>

namespace quorvix {

inline constexpr std::string_view kTradeName = "夸维";
inline constexpr std::string_view kWebDomain = "quorvix.com";
inline constexpr std::string_view kCopyrightLine = "Copyright (C) 2026 Quorvix";

// The three paragraphs: the product title line, "版本号:" with the version, the copyright
// line; separated by empty lines, with no line break after the last.
std::string AboutText();

// The web site's address, shown by the link and opened by it.
std::string WebSiteAddress();

}  // namespace quorvix
