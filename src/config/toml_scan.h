#pragma once

// One lexical pass over a TOML document, before toml++ reads it, for the
// input that toml++ 3.3 cannot take safely.

#include <cstddef>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace quarn {

// A stretch of the document as byte offsets, end excluded.
struct TextSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// A code point toml++ would test for whitespace although its test cannot
// classify it (see toml_scan.cpp). Outside strings and comments it is a
// syntax error wherever it stands; `is_string_content` marks the one case
// where it is text of a string, right after the blanks that a line-ending
// backslash removes.
struct UnsafeCodePoint {
  TextSpan span;
  char32_t value = 0;
  bool is_string_content = false;
};

struct TomlScan {
  // The first key part that sits more than the limit's levels below the root
  // table. Each part of a table header counts one level; the parts of a
  // dotted key count on from the table they are written in (the current
  // header's, or the inline table's); each array puts its elements one level
  // below itself. The scan ends there.
  std::optional<TextSpan> too_deep;
  // The first `[` or `{` of a value that opens more arrays and inline tables
  // at once than the nesting limit allows. The scan ends there.
  std::optional<TextSpan> too_nested;
  // In document order, and all before too_deep and too_nested.
  std::vector<UnsafeCodePoint> unsafe;
};

// Only the lexical structure is read: text the TOML grammar refuses is
// skipped in some consistent way and left for the parser to report.
TomlScan scan_toml(std::string_view text, std::size_t depth_limit,
                   std::size_t nesting_limit = std::numeric_limits<std::size_t>::max());

}  // namespace quarn
