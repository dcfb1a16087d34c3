#pragma once

// The text toml++ reads for a document, and the way back from its positions
// and messages to the document as written.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <toml++/toml.h>

#include "config/toml_scan.h"

namespace quarn {

// Positions are toml++'s: 1-based lines, and columns counted in code points.
toml::source_position position_at(std::string_view text, std::size_t offset);

// `text` with each unsafe code point rewritten: string content as its \u
// escape, which keeps the string's value, anything else as U+FFFD, which
// toml++ refuses at the same place.
class TomlInput {
 public:
  TomlInput(std::string_view text, std::span<const UnsafeCodePoint> unsafe);

  std::string_view text() const { return rewritten_ ? std::string_view(*rewritten_) : original_; }

  // A region of text() as a region of the document.
  toml::source_region original(toml::source_region where) const;

  // A parse error's description about text() as it reads about the
  // document: the character refused at `at` (a position of the document)
  // is shown as written.
  std::string original_description(std::string_view description, const toml::source_position& at) const;

 private:
  struct Replaced {
    toml::source_position at;  // in the document
    std::string_view written;
  };

  toml::source_position original(toml::source_position at) const;

  std::string_view original_;
  std::optional<std::string> rewritten_;
  std::vector<toml::source_position> escapes_;  // where each begins in text(), in order
  std::optional<Replaced> first_replaced_;
};

}  // namespace quarn
