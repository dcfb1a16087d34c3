#pragma once

#include <cstdint>
#include <filesystem>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "parser/arena.h"
#include "parser/ast.h"

namespace quarn {

namespace py {

struct SyntaxError {
  std::string message;
  std::uint32_t offset = 0;  // byte offset of the fault in the source
};

// Parses a whole file in module mode into a tree allocated in `arena`.
// Identifiers and undecoded literal texts view `source`, which must outlive
// the tree. Recursion is bounded in depth and by the stack left on the
// calling thread, so no input can exhaust the stack.
std::expected<Module, SyntaxError> parse_python(std::string_view source, Arena& arena);

}  // namespace py

// The result of parsing one file. The tree and the views inside it point
// into `storage`, which owns the text and the tree's arena, so the record can
// be moved freely.
struct ParsedModule {
  std::filesystem::path path;
  std::string_view source;  // the parsed text (owned by `storage`)
  py::Module module;
  std::shared_ptr<void> storage;
};

// Parses `text` as a Python 3.12 module. The error reads "failed to parse
// Python source: {message} at byte offset {N}".
Result<ParsedModule> parse_module(const std::filesystem::path& path, std::string text);

struct LineColumn {
  std::uint64_t line;
  std::uint64_t column;
};

// 1-based line and byte column of a byte offset. Offsets past the end are
// clamped, offsets inside a multi-byte character move back to its start;
// only "\n" ends a line.
LineColumn offset_to_line_col(std::string_view source, std::uint32_t offset);

// The same mapping from a table of line starts built once per text, for
// callers that convert many offsets of one file; it gives the same pair as
// offset_to_line_col for every offset.
class LineIndex {
 public:
  explicit LineIndex(std::string_view source);
  LineColumn line_col(std::uint32_t offset) const;
  std::span<const std::uint32_t> line_starts() const { return line_starts_; }

 private:
  static constexpr int kBlockBits = 8;

  std::string_view source_;
  std::vector<std::uint32_t> line_starts_;  // 0, then the offset after each "\n"
  // Per block of 2^kBlockBits bytes, the number of line starts at or before
  // its first byte, so that a lookup searches one block's lines only.
  std::vector<std::uint32_t> block_lines_;
};

}  // namespace quarn
