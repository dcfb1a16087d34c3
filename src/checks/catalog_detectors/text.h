#pragma once

// Text tests shared by the detectors. Letter case is folded in ASCII only:
// bytes outside a-z / A-Z never change and never match a letter class.

#include <string>
#include <string_view>

namespace quarn {

constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr bool is_ascii_lower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool is_ascii_upper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

std::string ascii_lower(std::string_view text);

bool starts_with_ignoring_ascii_case(std::string_view text, std::string_view prefix);

// `text` without leading and trailing Unicode White_Space characters.
std::string_view trim_white_space(std::string_view text);

}  // namespace quarn
