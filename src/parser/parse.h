#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "base/error.h"
#include "parser/ast.h"

namespace quarn {

// The result of parsing one file. The tree and the views inside it point
// into `storage`, which owns a copy of the text and the tree's arena, so the
// record can be moved freely.
struct ParsedModule {
  std::filesystem::path path;
  std::string_view source;  // the parsed text (owned by `storage`)
  py::Module module;
  std::shared_ptr<void> storage;
};

// Parses `text` as a Python 3.12 module. The error reads "failed to parse
// Python source: {message} at byte offset {N}".
Result<ParsedModule> parse_module(const std::filesystem::path& path, std::string_view text);

struct LineColumn {
  std::uint64_t line;
  std::uint64_t column;
};

// 1-based line and byte column of a byte offset. Offsets past the end are
// clamped, offsets inside a multi-byte character move back to its start;
// only "\n" ends a line.
LineColumn offset_to_line_col(std::string_view source, std::uint32_t offset);

}  // namespace quarn
