#pragma once

// How deep the keys of a TOML document nest, measured on its text before
// anything is parsed.

#include <cstddef>
#include <optional>
#include <string_view>

namespace quarn {

// A stretch of the document as byte offsets, end excluded.
struct TextSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// The first key part that sits more than `limit` levels below the root
// table. Each part of a table header counts one level; the parts of a dotted
// key count on from the table they are written in (the current header's, or
// the inline table's); each array puts its elements one level below itself.
// Only the lexical structure is read: text the TOML grammar refuses is
// skipped in some consistent way and left for the parser to report.
std::optional<TextSpan> find_key_deeper_than(std::string_view text, std::size_t limit);

}  // namespace quarn
