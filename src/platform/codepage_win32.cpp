// Code page 936 through the Windows API.
#include <windows.h>

#include "platform/codepage.h"
#include "platform/utf8.h"
#include "platform/win32_text.h"

namespace quorvix::platform {
namespace {

constexpr UINT kCodePage936 = 936;

}  // namespace

Cp936Text EncodeCp936(std::string_view utf8) {
  Cp936Text result;
  result.bytes.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    ++result.characters;
    const unsigned char lead = static_cast<unsigned char>(utf8[pos]);
    if (lead < 0x80) {
      result.bytes.push_back(static_cast<char>(lead));
      ++pos;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(utf8, pos);
    if (length == 0) {
      ++result.unmappable;
      result.bytes.push_back(kUnmappableByte);
      ++pos;
      continue;
    }
    const std::wstring wide = Widen(utf8.substr(pos, length));
    char encoded[8];
    BOOL usedDefault = FALSE;
    // No best fit: a character without its own code must not turn into a look-alike.
    const int produced = ::WideCharToMultiByte(kCodePage936, WC_NO_BEST_FIT_CHARS, wide.data(),
                                               static_cast<int>(wide.size()), encoded,
                                               sizeof encoded, nullptr, &usedDefault);
    if (produced <= 0 || usedDefault) {
      ++result.unmappable;
      result.bytes.push_back(kUnmappableByte);
    } else {
      if (produced >= 2) ++result.doubleByte;
      result.bytes.append(encoded, static_cast<std::size_t>(produced));
    }
    pos += length;
  }
  return result;
}

std::string DecodeCp936(std::string_view bytes) {
  // Character by character, so that a byte sequence with no meaning becomes U+FFFD and costs
  // only its first byte, as on every other platform.
  std::wstring wide;
  wide.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[pos]);
    if (lead < 0x80) {
      wide.push_back(static_cast<wchar_t>(lead));
      ++pos;
      continue;
    }
    wchar_t decoded[2];
    int produced = 0;
    if (pos + 1 < bytes.size() && ::IsDBCSLeadByteEx(kCodePage936, lead)) {
      produced = ::MultiByteToWideChar(kCodePage936, MB_ERR_INVALID_CHARS, bytes.data() + pos, 2,
                                       decoded, 2);
      if (produced > 0) pos += 2;
    }
    if (produced <= 0 && !::IsDBCSLeadByteEx(kCodePage936, lead)) {
      produced = ::MultiByteToWideChar(kCodePage936, MB_ERR_INVALID_CHARS, bytes.data() + pos, 1,
                                       decoded, 2);
      if (produced > 0) ++pos;
    }
    if (produced <= 0) {
      wide.push_back(L'\xFFFD');
      ++pos;
      continue;
    }
    wide.append(decoded, static_cast<std::size_t>(produced));
  }
  return Narrow(wide);
}

}  // namespace quorvix::platform
