#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "parser/ast.h"
#include "parser/parse.h"
#include "parser/reached_nodes.h"

namespace quarn {

struct FunctionInfo {
  std::string_view name;  // a view of the tree
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  std::uint64_t arg_count = 0;
  std::uint64_t line_count = 0;
  std::uint64_t nesting_depth = 0;
  bool has_docstring = false;
};

struct ClassInfo {
  std::string_view name;  // a view of the tree
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  std::uint64_t method_count = 0;
  std::uint64_t public_method_count = 0;
  std::uint64_t init_attribute_count = 0;
};

struct ImportInfo {
  std::string module;
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  bool is_from = false;
};

struct Comment {
  std::string_view text;  // a view of the parsed text
  std::uint64_t line = 0;
  std::uint64_t column = 0;
};

// The per-file indexes, each built on first request and then shared by
// every check of the file.
class SourceIndex {
 public:
  explicit SourceIndex(const ParsedModule& parsed) : parsed_(parsed) {}

  const std::vector<FunctionInfo>& functions() const;
  const std::vector<ClassInfo>& classes() const;
  const std::vector<ImportInfo>& imports() const;
  // One comment per line holding a "#": from the line's first "#" to the
  // line's end, a "\r" before the "\n" left out (a last line without "\n"
  // keeps it). Python syntax is not consulted, so a "#" inside a string
  // literal starts a comment as well.
  const std::vector<Comment>& comments() const;

  // The position of a byte offset of the parsed text, the same pair as
  // offset_to_line_col gives, from a table of line starts built on first use
  // so that a file with many positions is not rescanned for each.
  LineColumn position(std::uint32_t offset) const;

  // The line starts of the parsed text: 0, then the offset after each "\n".
  std::span<const std::uint32_t> line_starts() const;
  // Line `line` (1-based, at most the number of line starts) without its
  // "\n" or "\r\n"; a last line without "\n" keeps a final "\r".
  std::string_view line_text(std::uint64_t line) const;

  // Every statement at any depth, in block-descent order: definition, loop,
  // if, with, match-case and try bodies, parents before children (the walk
  // of StatementWalk with StandardDescent). The function, class and import
  // lists are in this order too.
  const ReachedStatements& statements_reached() const;

 private:
  mutable std::optional<ReachedStatements> statements_reached_;
  const LineIndex& lines() const;

  const ParsedModule& parsed_;
  mutable std::optional<LineIndex> lines_;
  mutable std::optional<std::vector<FunctionInfo>> functions_;
  mutable std::optional<std::vector<ClassInfo>> classes_;
  mutable std::optional<std::vector<ImportInfo>> imports_;
  mutable std::optional<std::vector<Comment>> comments_;
};

}  // namespace quarn
