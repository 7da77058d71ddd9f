// Code page 936 through glibc's iconv ("CP936" is Microsoft's table, 0x80 = euro sign).
#include <iconv.h>

#include <cerrno>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/codepage.h"
#include "platform/utf8.h"

namespace quorvix::platform {
namespace {

// One conversion descriptor per direction and call; iconv_t keeps shift state, so sharing one
// between calls would need locking for no gain at these sizes.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  ~Iconv() { ::iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts in[0..*inLeft) as far as it goes; returns the errno of the stop, or 0.
  int Convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
    char* src = const_cast<char*>(in);
    const std::size_t rc = ::iconv(cd_, &src, &inLeft, &out, &outLeft);
    in = src;
    return rc == static_cast<std::size_t>(-1) ? errno : 0;
  }

 private:
  iconv_t cd_;
};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

Cp936Text EncodeCp936(std::string_view utf8) {
  Cp936Text result;
  result.bytes.reserve(utf8.size());
  std::optional<Iconv> toGbk;  // opened at the first non-ASCII character: most texts have none
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    // ASCII runs are the common case (the whole request, domains, signatures): copy them.
    if (static_cast<unsigned char>(utf8[pos]) < 0x80) {
      const std::size_t start = pos;
      while (pos < utf8.size() && static_cast<unsigned char>(utf8[pos]) < 0x80) ++pos;
      result.bytes.append(utf8.substr(start, pos - start));
      result.characters += pos - start;
      continue;
    }
    ++result.characters;
    const std::size_t length = Utf8SequenceLength(utf8, pos);
    if (length == 0) {
      ++result.unmappable;
      result.bytes.push_back(kUnmappableByte);
      ++pos;
      continue;
    }
    const char* in = utf8.data() + pos;
    std::size_t inLeft = length;
    char encoded[8];
    char* out = encoded;
    std::size_t outLeft = sizeof encoded;
    if (!toGbk) toGbk.emplace("CP936", "UTF-8");
    if (toGbk->Convert(in, inLeft, out, outLeft) != 0 || inLeft != 0) {
      ++result.unmappable;
      result.bytes.push_back(kUnmappableByte);
    } else {
      const std::size_t produced = sizeof encoded - outLeft;
      if (produced >= 2) ++result.doubleByte;
      result.bytes.append(encoded, produced);
    }
    pos += length;
  }
  return result;
}

std::string DecodeCp936(std::string_view bytes) {
  std::string result;
  result.reserve(bytes.size() + bytes.size() / 2);
  Iconv toUtf8("UTF-8", "CP936");
  const char* in = bytes.data();
  std::size_t inLeft = bytes.size();
  char chunk[4096];
  while (inLeft > 0) {
    char* out = chunk;
    std::size_t outLeft = sizeof chunk;
    const int error = toUtf8.Convert(in, inLeft, out, outLeft);
    result.append(chunk, sizeof chunk - outLeft);
    if (error == E2BIG || error == 0) continue;
    // EILSEQ (no meaning) or EINVAL (a lead byte cut off at the end): one byte becomes U+FFFD.
    result.append(kReplacement);
    ++in;
    --inLeft;
  }
  return result;
}

}  // namespace quorvix::platform
