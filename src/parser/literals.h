#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "parser/token.h"

namespace quarn::py {

// What the prefix of a string token says. Works on String and FStringStart
// token texts.
struct StringPrefix {
  bool raw = false;
  bool bytes = false;
  bool fstring = false;
  bool unicode = false;         // the legacy u/U prefix
  std::uint32_t length = 0;     // bytes of prefix
  std::uint32_t quote_len = 0;  // 1 or 3
  char quote = '"';             // ' or "
};

StringPrefix string_prefix(std::string_view token_text);

// Decodes the text of one String token (as produced by tokenize) and appends
// its value to `out`. For str literals `out` receives UTF-8; a surrogate
// written as an escape ("\ud800") becomes U+FFFD, since UTF-8 cannot hold
// one. For bytes literals every byte value is appended as one char.
// `is_bytes` is set from the prefix.
//
// Escapes follow Python: \n \t \x.. \u.... \U........ \N{NAME} (names and
// aliases), octal, backslash-newline; unknown escapes such as "\d" are kept as
// written, and in bytes literals \u, \U and \N are unknown escapes. Raw
// literals are taken verbatim. Errors (truncated \x/\u/\U, unknown \N
// name, \U beyond 0x10FFFF, non-ASCII in a bytes literal) carry an offset
// RELATIVE to the start of `token_text`: add the token's start.
std::optional<LexError> decode_string_token(std::string_view token_text, std::string& out,
                                            bool& is_bytes);

// Decodes one FStringMiddle token text (raw source bytes) like the body of
// a str literal, plus "{{" -> "{" and "}}" -> "}". `raw` comes from the
// FStringStart prefix. Error offsets are relative to the start of `raw_text`.
std::optional<LexError> decode_fstring_middle(std::string_view raw_text, bool raw,
                                              std::string& out);

// Python refuses decimal integer literals longer than this (its default
// int_max_str_digits), so they are syntax errors.
constexpr std::size_t kMaxDecimalDigits = 4300;

struct NumberLiteral {
  enum class Kind : std::uint8_t { Int, Float, Complex };
  Kind kind = Kind::Int;
  // Int: the decimal digits of the value (no sign, no leading zeros, "0"
  // for zero), whatever the base of the literal. Left empty for a hex, octal
  // or binary literal of more than 65536 bits, whose conversion would be
  // needlessly slow.
  std::string decimal;
  // Float: the value; Complex: the imaginary part. Correctly rounded.
  double value = 0.0;
};

// Decodes the text of one Number token. The tokenizer has already checked
// its form. A decimal integer literal of more than 4300 digits is an error,
// as in Python; so is text that is no number literal. Error offsets are
// relative to the text.
std::expected<NumberLiteral, LexError> decode_number(std::string_view token_text);

}  // namespace quarn::py
