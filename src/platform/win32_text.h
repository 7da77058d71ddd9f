// UTF-8 <-> UTF-16 for the Windows API's wide functions (Windows only).
#pragma once

#include <string>
#include <string_view>

namespace quorvix::platform {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// Between UTF-8 and a Windows code page (CP_ACP, 936).
std::string ToCodePage(std::string_view utf8, unsigned codePage);
std::string FromCodePage(std::string_view bytes, unsigned codePage);

}  // namespace quorvix::platform
