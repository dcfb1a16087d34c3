#include "base/utf8.h"

#include <cstdint>
#include <cstring>

namespace quarn {

bool is_valid_utf8(std::string_view text) {
  std::size_t maximal;
  char32_t code_point;
  for (std::size_t i = 0; i < text.size();) {
    // Runs of ASCII, the common case, eight bytes at a time.
    while (i + 8 <= text.size()) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      if ((word & 0x8080808080808080ULL) != 0) break;
      i += 8;
    }
    if (i >= text.size()) break;
    std::size_t len = detail::utf8_sequence(text, i, maximal, code_point);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string utf8_lossy(std::string_view text) {
  if (is_valid_utf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  std::size_t maximal;
  char32_t code_point;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = detail::utf8_sequence(text, i, maximal, code_point);
    if (len == 0) {
      out += kUtf8ReplacementCharacter;
      i += maximal;
    } else {
      out.append(text.substr(i, len));
      i += len;
    }
  }
  return out;
}

}  // namespace quarn
