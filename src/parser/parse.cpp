#include "parser/parse.h"

#include <algorithm>

#include <fmt/format.h>

#include "base/thread_stack.h"
#include "base/utf8.h"
#include "parser/ast_children.h"
#include "parser/lexer.h"
#include "parser/parser.h"

namespace quarn::py {

namespace {

// Nesting of recursive grammar rules (brackets, lambdas, blocks, `**`) the
// parser follows; deeper input is refused before the stack runs out.
constexpr int kMaxParseDepth = 3000;

// Depth of the finished tree. Chains such as `a + b + ...` or `a.b.c...`
// are parsed by loops but nest in the tree; walkers over the tree recurse,
// so the depth is bounded too. Python itself refuses far shallower trees.
constexpr std::size_t kMaxTreeDepth = 5000;

// Stack a guard leaves below itself: the deepest descent to the next guard
// and the allocations of the fatal error path. Measured: under 16 KiB in the
// sanitizer build, under 1 KiB in Release.
constexpr std::size_t kParseStackReserve = std::size_t{32} << 10;

std::uint16_t height_of(NodeRef n) {
  switch (n.family) {
    case NodeRef::Family::Stmt: return static_cast<const Stmt*>(n.node)->height;
    case NodeRef::Family::Expr: return static_cast<const Expr*>(n.node)->height;
    case NodeRef::Family::Pattern: return static_cast<const Pattern*>(n.node)->height;
    case NodeRef::Family::Handler: {
      std::uint16_t below = 0;
      visit_children(n, [&below](NodeRef child) { below = std::max(below, height_of(child)); });
      return static_cast<std::uint16_t>(below + 1);
    }
  }
  return 1;
}

template <class N>
void set_height(NodeRef n, std::uint16_t height) {
  const_cast<N*>(static_cast<const N*>(n.node))->height = height;
}

}  // namespace

Parser::DepthGuard::DepthGuard(Parser& p)
    : parser(p), ok(++p.depth_ <= kMaxParseDepth && stack_position() >= p.stack_floor_) {
  if (!ok) refuse(p);
}

void Parser::DepthGuard::refuse(Parser& p) { p.fatal(p.tok().start, "too many nested expressions or blocks"); }

Parser::Parser(std::string_view source, std::span<const Token> tokens, Arena& arena)
    : src_(source), toks_(tokens), arena_(arena), stack_floor_(stack_bottom() + kParseStackReserve) {}

bool Parser::at_soft_keyword(std::string_view word) const {
  return at(Tok::Name) && text(tok()) == word;
}

void Parser::seal_last_node() {
  if (last_node_.node == nullptr) return;
  NodeRef n = last_node_;
  last_node_.node = nullptr;
  std::size_t below = 0;
  visit_children(n, [&below](NodeRef child) { below = std::max<std::size_t>(below, height_of(child)); });
  if (below + 1 > kMaxTreeDepth) {
    fatal(n.start(), "too deeply nested");
    return;
  }
  auto height = static_cast<std::uint16_t>(below + 1);
  switch (n.family) {
    case NodeRef::Family::Stmt: set_height<Stmt>(n, height); break;
    case NodeRef::Family::Expr: set_height<Expr>(n, height); break;
    case NodeRef::Family::Pattern: set_height<Pattern>(n, height); break;
    case NodeRef::Family::Handler: break;
  }
}

std::nullptr_t Parser::fail() {
  furthest_ = std::max(furthest_, pos_);
  return nullptr;
}

std::nullptr_t Parser::fatal(std::uint32_t offset, std::string message) {
  if (!fatal_) {
    fatal_ = true;
    error_ = SyntaxError{std::move(message), offset};
  }
  return nullptr;
}

std::expected<Module, SyntaxError> Parser::parse_file() {
  Scratch body(stmts_);
  while (!at(Tok::EndMarker) && !fatal_) {
    if (!statement() && !fatal_) return std::unexpected(SyntaxError{"invalid syntax", toks_[furthest_].start});
  }
  seal_last_node();
  if (fatal_) return std::unexpected(error_);
  return Module{body.copy(arena_)};
}

std::expected<Module, SyntaxError> parse_python(std::string_view source, Arena& arena) {
  auto tokens = tokenize(source);
  if (!tokens) return std::unexpected(SyntaxError{tokens.error().message, tokens.error().offset});
  return Parser(source, *tokens, arena).parse_file();
}

}  // namespace quarn::py

namespace quarn {

namespace {

// What a parsed module's views point into.
struct ParsedStorage {
  std::string text;
  py::Arena arena;
};

}  // namespace

Result<ParsedModule> parse_module(const std::filesystem::path& path, std::string text) {
  auto storage = std::make_shared<ParsedStorage>();
  storage->text = std::move(text);
  const std::string_view source = storage->text;
  auto module = py::parse_python(source, storage->arena);
  if (!module) {
    return fail(fmt::format("failed to parse Python source: {} at byte offset {}", module.error().message,
                            module.error().offset));
  }
  return ParsedModule{path, source, *module, std::move(storage)};
}

namespace {

// `offset` clamped to the text and moved back to the start of its character.
std::size_t character_start(std::string_view source, std::uint32_t offset) {
  std::size_t off = std::min<std::size_t>(offset, source.size());
  while (off > 0 && off < source.size() && is_utf8_continuation_byte(source[off])) --off;
  return off;
}

}  // namespace

LineColumn offset_to_line_col(std::string_view source, std::uint32_t offset) {
  const std::size_t off = character_start(source, offset);
  std::string_view before = source.substr(0, off);
  auto line = static_cast<std::uint64_t>(std::count(before.begin(), before.end(), '\n')) + 1;
  std::size_t last_newline = before.rfind('\n');
  std::uint64_t column = last_newline == std::string_view::npos ? off + 1 : off - last_newline;
  return {line, column};
}

LineIndex::LineIndex(std::string_view source) : source_(source) {
  line_starts_.push_back(0);
  for (std::size_t at = source.find('\n'); at != std::string_view::npos; at = source.find('\n', at + 1)) {
    line_starts_.push_back(static_cast<std::uint32_t>(at + 1));
  }
  const std::size_t blocks = (source.size() >> kBlockBits) + 1;
  block_lines_.reserve(blocks + 1);
  std::size_t line = 0;
  for (std::size_t block = 0; block <= blocks; ++block) {
    while (line < line_starts_.size() && line_starts_[line] <= block << kBlockBits) ++line;
    block_lines_.push_back(static_cast<std::uint32_t>(line));
  }
}

LineColumn LineIndex::line_col(std::uint32_t offset) const {
  const std::size_t off = character_start(source_, offset);
  // The line is the last one starting at or before `off`: a "\n" at `off`
  // itself still belongs to the line it ends. Only the lines starting after
  // the first byte of `off`'s block and up to the next block's can be it.
  const std::size_t block = off >> kBlockBits;
  const auto first = line_starts_.begin() + block_lines_[block];
  const auto last = line_starts_.begin() + block_lines_[block + 1];
  const std::size_t line = static_cast<std::size_t>(std::upper_bound(first, last, off) - line_starts_.begin());
  return {line, off - line_starts_[line - 1] + 1};
}

}  // namespace quarn
