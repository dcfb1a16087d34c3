#include "parser/parse.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

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

// The first node lying deeper than the limit, if any.
const NodeRef* too_deep(const Module& module, std::vector<std::pair<NodeRef, std::size_t>>& stack,
                        std::vector<NodeRef>& children) {
  for (const Stmt* s : module.body) stack.emplace_back(NodeRef(s), 1);
  while (!stack.empty()) {
    auto [n, depth] = stack.back();
    stack.pop_back();
    if (depth > kMaxTreeDepth) {
      children.assign(1, n);
      return &children.front();
    }
    children.clear();
    append_children(n, children);
    for (NodeRef child : children) stack.emplace_back(child, depth + 1);
  }
  return nullptr;
}

}  // namespace

Parser::DepthGuard::DepthGuard(Parser& p) : parser(p), ok(++p.depth_ <= kMaxParseDepth) {
  if (!ok) p.fatal(p.tok().start, "too many nested expressions or blocks");
}

Parser::Parser(std::string_view source, std::span<const Token> tokens, Arena& arena)
    : src_(source), toks_(tokens), arena_(arena) {}

Tok Parser::peek(std::size_t n) const {
  std::size_t i = std::min(pos_ + n, toks_.size() - 1);
  return toks_[i].kind;
}

bool Parser::at_soft_keyword(std::string_view word) const {
  return at(Tok::Name) && text(tok()) == word;
}

void Parser::advance() {
  if (pos_ + 1 < toks_.size()) ++pos_;
  furthest_ = std::max(furthest_, pos_);
}

bool Parser::accept(Tok k) {
  if (!at(k)) return false;
  advance();
  return true;
}

bool Parser::expect(Tok k) {
  if (accept(k)) return true;
  fail();
  return false;
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
  while (!at(Tok::EndMarker)) {
    if (!statement()) {
      if (fatal_) return std::unexpected(error_);
      return std::unexpected(SyntaxError{"invalid syntax", toks_[furthest_].start});
    }
  }
  return Module{body.copy(arena_)};
}

std::expected<Module, SyntaxError> parse_python(std::string_view source, Arena& arena) {
  auto tokens = tokenize(source);
  if (!tokens) return std::unexpected(SyntaxError{tokens.error().message, tokens.error().offset});
  auto module = Parser(source, *tokens, arena).parse_file();
  if (!module) return module;
  std::vector<std::pair<NodeRef, std::size_t>> stack;
  std::vector<NodeRef> children;
  if (const NodeRef* deep = too_deep(*module, stack, children)) {
    return std::unexpected(SyntaxError{"too deeply nested", deep->start()});
  }
  return module;
}

}  // namespace quarn::py

namespace quarn {

Result<ParsedModule> parse_module(const std::filesystem::path& path, std::string_view text) {
  auto arena = std::make_shared<py::Arena>();
  std::string_view source = arena->copy(text);
  auto module = py::parse_python(source, *arena);
  if (!module) {
    return fail(fmt::format("failed to parse Python source: {} at byte offset {}", module.error().message,
                            module.error().offset));
  }
  return ParsedModule{path, source, *module, std::move(arena)};
}

LineColumn offset_to_line_col(std::string_view source, std::uint32_t offset) {
  std::size_t off = std::min<std::size_t>(offset, source.size());
  while (off > 0 && off < source.size() && (static_cast<unsigned char>(source[off]) & 0xC0) == 0x80) --off;
  std::string_view before = source.substr(0, off);
  auto line = static_cast<std::uint64_t>(std::count(before.begin(), before.end(), '\n')) + 1;
  std::size_t last_newline = before.rfind('\n');
  std::uint64_t column = last_newline == std::string_view::npos ? off + 1 : off - last_newline;
  return {line, column};
}

LineIndex::LineIndex(std::string_view source) : source_(source) {
  line_starts_.push_back(0);
  for (const char* p = source.data(); (p = static_cast<const char*>(
                                           std::memchr(p, '\n', source.data() + source.size() - p))) != nullptr;) {
    ++p;
    line_starts_.push_back(static_cast<std::uint32_t>(p - source.data()));
  }
}

LineColumn LineIndex::line_col(std::uint32_t offset) const {
  std::size_t off = std::min<std::size_t>(offset, source_.size());
  while (off > 0 && off < source_.size() && (static_cast<unsigned char>(source_[off]) & 0xC0) == 0x80) --off;
  // The line is the last one starting at or before `off`: a "\n" at `off`
  // itself still belongs to the line it ends.
  auto it = std::upper_bound(line_starts_.begin(), line_starts_.end(), off);
  std::size_t line = static_cast<std::size_t>(it - line_starts_.begin());
  return {line, off - line_starts_[line - 1] + 1};
}

}  // namespace quarn
