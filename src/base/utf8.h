#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quarn {

// True for the bytes that continue a UTF-8 sequence (10xxxxxx).
inline bool is_utf8_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// True when `text` is valid UTF-8 (no overlongs, no surrogates, max U+10FFFF).
bool is_valid_utf8(std::string_view text);

namespace detail {
// Length of the valid UTF-8 sequence starting at s[i], or 0 when invalid; its
// code point goes to `code_point`. `maximal` receives the length of the
// maximal invalid prefix to replace. Inline: the lexer validates every
// source with it.
inline std::size_t utf8_sequence(std::string_view s, std::size_t i, std::size_t& maximal, char32_t& code_point) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  maximal = 1;
  code_point = b0;
  if (b0 < 0x80) return 1;
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  code_point &= 0x7Fu >> len;
  for (std::size_t k = 1; k < len; ++k) {
    if (i + k >= s.size()) return 0;
    unsigned char b = byte(i + k);
    if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return 0;
    code_point = (code_point << 6) | (b & 0x3Fu);
    maximal = k + 1;
  }
  return len;
}
}  // namespace detail

// The length of the valid UTF-8 sequence at text[at] (at < text.size()), its
// code point stored in `code_point`; 0 when none starts there.
inline std::size_t decode_utf8(std::string_view text, std::size_t at, char32_t& code_point) {
  std::size_t maximal;
  return detail::utf8_sequence(text, at, maximal, code_point);
}

// `text` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view text);

// The UTF-8 byte-order mark.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// U+FFFD, the replacement character, in UTF-8.
inline constexpr std::string_view kUtf8ReplacementCharacter = "\xEF\xBF\xBD";

}  // namespace quarn
