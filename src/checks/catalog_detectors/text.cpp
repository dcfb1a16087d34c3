#include "checks/catalog_detectors/text.h"

#include <algorithm>

namespace quarn {

namespace {

// Length of the White_Space character that `text` begins (or ends) with, or 0.
std::size_t white_space_length(std::string_view text, bool at_end) {
  static constexpr std::string_view kMultiByte[] = {
      "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006", "\u2007",
      "\u2008", "\u2009", "\u200A", "\u2028", "\u2029", "\u202F", "\u205F", "\u3000",
  };
  if (text.empty()) return 0;
  const char ascii = at_end ? text.back() : text.front();
  if (ascii == ' ' || (ascii >= '\t' && ascii <= '\r')) return 1;
  if (static_cast<unsigned char>(ascii) < 0x80) return 0;
  for (std::string_view space : kMultiByte) {
    if (at_end ? text.ends_with(space) : text.starts_with(space)) return space.size();
  }
  return 0;
}

bool equal_ignoring_ascii_case(char a, char b) { return ascii_upper(a) == ascii_upper(b); }

}  // namespace

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (is_ascii_upper(c)) c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool starts_with_ignoring_ascii_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), equal_ignoring_ascii_case);
}

std::string_view trim_white_space(std::string_view text) {
  while (std::size_t n = white_space_length(text, false)) text.remove_prefix(n);
  while (std::size_t n = white_space_length(text, true)) text.remove_suffix(n);
  return text;
}

}  // namespace quarn
