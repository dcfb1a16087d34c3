#pragma once

// The recursive-descent parser behind parse_python: one object per parse,
// split over parse_statements.cpp, parse_expressions.cpp,
// parse_strings.cpp and parse_patterns.cpp.
//
// Sub-parsers return the node (or true) on success and nullptr (or false)
// on failure. A soft failure only marks the furthest token reached, so that
// an enclosing alternative may still be tried (the parser backtracks only
// for `match` statements and parenthesized `with` items); a fatal failure
// (a bad literal, an invalid target, too deep nesting) ends the parse.
//
// Child lists are collected on scratch stacks owned by the parser and copied
// into the arena once complete, so building the tree allocates nothing else.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "parser/arena.h"
#include "parser/ast.h"
#include "parser/ast_children.h"
#include "parser/parse.h"
#include "parser/token.h"

namespace quarn::py {

class Parser {
 public:
  Parser(std::string_view source, std::span<const Token> tokens, Arena& arena);
  std::expected<Module, SyntaxError> parse_file();

 private:
  // Restores a scratch stack to its height at construction.
  template <class T>
  struct Scratch {
    std::vector<T>& items;
    std::size_t base;
    explicit Scratch(std::vector<T>& v) : items(v), base(v.size()) {}
    ~Scratch() { items.resize(base); }
    Scratch(const Scratch&) = delete;
    std::size_t size() const { return items.size() - base; }
    std::span<T> copy(Arena& arena) const { return arena.copy_tail(items, base); }
  };

  // Counts nesting on recursive entries and checks the stack left, so that
  // no input exhausts the stack.
  struct DepthGuard {
    Parser& parser;
    bool ok;
    explicit DepthGuard(Parser& p);
    ~DepthGuard() { --parser.depth_; }
    explicit operator bool() const { return ok; }

   private:
    // Apart, so that the check itself needs no stack frame.
    [[gnu::cold, gnu::noinline]] static void refuse(Parser& p);
  };

  // Literal text of f-strings and concatenated strings being assembled: the
  // pending text lives on text_ from `mark` on, pieces go to exprs_.
  struct StringPieces {
    std::size_t mark;
    std::uint32_t start = 0;  // range of the tokens behind the pending text
    std::uint32_t end = 0;
    bool pending = false;
  };

  struct ElifClause {
    std::uint32_t start;
    Expr* test;
    std::span<Stmt*> body;
  };

  // ---- tokens
  const Token& tok() const { return toks_[pos_]; }
  Tok kind() const { return toks_[pos_].kind; }
  Tok peek(std::size_t n = 1) const {
    std::size_t i = pos_ + n < toks_.size() ? pos_ + n : toks_.size() - 1;
    return toks_[i].kind;
  }
  bool at(Tok k) const { return toks_[pos_].kind == k; }
  bool at_soft_keyword(std::string_view word) const;
  std::string_view text(const Token& t) const { return src_.substr(t.start, t.end - t.start); }
  std::uint32_t prev_end() const { return pos_ > 0 ? toks_[pos_ - 1].end : 0; }
  void advance() {
    if (pos_ + 1 < toks_.size()) ++pos_;
    if (pos_ > furthest_) furthest_ = pos_;
  }
  bool accept(Tok k) {
    if (!at(k)) return false;
    advance();
    return true;
  }
  bool expect(Tok k) {
    if (accept(k)) return true;
    fail();
    return false;
  }
  void restore(std::size_t pos) { pos_ = pos; }

  // ---- failure
  std::nullptr_t fail();
  bool reject() {
    fail();
    return false;
  }
  std::nullptr_t fatal(std::uint32_t offset, std::string message);

  // A new node of kind T spanning [start, end of the last token). Nodes are
  // created once their children are complete and filled in at once, so each
  // node's height is taken when the next one is created.
  template <class T>
  T* node(std::uint32_t start) {
    return node_at<T>(start, prev_end());
  }
  template <class T>
  T* node_at(std::uint32_t start, std::uint32_t end) {
    if (last_node_.node != nullptr) seal_last_node();
    T* n = arena_.make<T>();
    n->kind = T::kKind;
    n->start = start;
    n->end = end;
    // Leaves keep height 1 and need no sealing.
    constexpr bool leaf = std::is_same_v<T, Name> || std::is_same_v<T, Constant> || std::is_same_v<T, Pass> ||
                          std::is_same_v<T, Break> || std::is_same_v<T, Continue> ||
                          std::is_same_v<T, MatchSingleton> || std::is_same_v<T, MatchStar>;
    if constexpr (leaf) {
    } else if constexpr (std::is_base_of_v<Stmt, T>) {
      last_node_ = static_cast<Stmt*>(n);
    } else if constexpr (std::is_base_of_v<Expr, T>) {
      last_node_ = static_cast<Expr*>(n);
    } else if constexpr (std::is_base_of_v<Pattern, T>) {
      last_node_ = static_cast<Pattern*>(n);
    }
    return n;
  }
  void seal_last_node();

  // ---- statements (parse_statements.cpp)
  bool statement();
  bool simple_statements();
  Stmt* simple_statement();
  Stmt* expression_statement();
  Stmt* return_statement();
  Stmt* raise_statement();
  Stmt* delete_statement();
  Stmt* assert_statement();
  Stmt* import_statement();
  Stmt* import_from_statement();
  Stmt* global_statement(bool nonlocal);
  Stmt* type_alias_statement();
  bool compound_statement();
  Stmt* decorated_definition();
  Stmt* function_definition(std::span<Expr*> decorators);
  Stmt* class_definition(std::span<Expr*> decorators);
  Stmt* if_statement();
  Stmt* while_statement();
  Stmt* for_statement();
  Stmt* with_statement();
  bool with_items_parenthesized();
  bool with_items();
  bool with_item();
  Stmt* try_statement();
  Stmt* match_statement();
  bool case_block();
  bool block(std::span<Stmt*>& out);
  std::uint32_t block_end() const;
  bool else_block(std::span<Stmt*>& out);
  std::string_view dotted_name();
  bool alias(bool dotted);
  std::span<TypeParam*> type_params(bool& ok);
  TypeParam* type_param();
  Arguments* parameters(bool lambda);
  bool parameter(Arg& arg, bool annotated, bool star_annotation);

  // ---- expressions (parse_expressions.cpp)
  bool starts_expression(Tok k) const;
  bool starts_target(Tok k) const;
  Expr* star_expressions();
  Expr* star_expression();
  Expr* star_named_expression();
  template <Expr* (Parser::*Value)()>
  Expr* starred();
  Expr* named_expression();
  Expr* expression();
  Expr* lambda_expression();
  Expr* yield_expression();
  Expr* disjunction();
  Expr* conjunction();
  template <Expr* (Parser::*Operand)()>
  Expr* bool_operation(Tok keyword, BoolOperator op);
  Expr* inversion();
  Expr* comparison();
  Expr* binary(int min_precedence);
  Expr* bitwise_or() { return binary(1); }
  Expr* factor();
  Expr* power();
  Expr* await_primary();
  Expr* primary();
  Expr* atom();
  Expr* parenthesized();
  Expr* list_display();
  bool rest_of_elements(Tok closer);
  Expr* brace_display();
  Expr* name_expr();
  Expr* number();
  Expr* call(Expr* func, std::uint32_t start);
  bool call_arguments(bool allow_generator, std::span<Expr*>& args, std::span<Keyword>& keywords);
  Expr* subscript(Expr* value, std::uint32_t start);
  Expr* slice_item();
  bool comprehension_clauses(std::span<Comprehension>& out);
  Expr* star_targets();
  Expr* star_target();
  bool set_target_context(Expr* e, ExprContext ctx, bool starred_allowed);
  bool is_unparenthesized(const Expr* e, std::uint32_t start) const { return e->start == start; }

  // ---- strings (parse_strings.cpp)
  Expr* strings();
  bool string_literal(bool& is_bytes, StringPieces& pieces);
  bool fstring(StringPieces& pieces);
  Expr* replacement_field(bool raw, StringPieces& outer);
  Expr* format_spec(bool raw);
  void flush_pieces(StringPieces& pieces);
  void note_piece(StringPieces& pieces, std::uint32_t start, std::uint32_t end);

  // ---- patterns (parse_patterns.cpp)
  bool starts_pattern(Tok k) const;
  Pattern* patterns();
  Pattern* pattern();
  Pattern* maybe_star_pattern();
  Pattern* or_pattern();
  Pattern* closed_pattern();
  Pattern* name_pattern();
  Pattern* group_or_sequence_pattern();
  Pattern* list_pattern();
  Pattern* mapping_pattern();
  Pattern* class_pattern(Expr* cls, std::uint32_t start);
  Expr* name_or_attribute();
  Expr* signed_number_literal();
  Expr* mapping_key();
  bool capture_target(std::string_view& name);

  std::string_view src_;
  std::span<const Token> toks_;
  Arena& arena_;
  std::size_t pos_ = 0;
  std::size_t furthest_ = 0;
  int depth_ = 0;
  std::uintptr_t stack_floor_;  // the lowest stack address a guard passes at
  bool fatal_ = false;
  SyntaxError error_;
  NodeRef last_node_{static_cast<const Stmt*>(nullptr)};

  std::vector<Stmt*> stmts_;
  std::vector<Expr*> exprs_;
  std::vector<Pattern*> patterns_;
  std::vector<Keyword> keywords_;
  std::vector<Alias> aliases_;
  std::vector<Comprehension> comprehensions_;
  std::vector<WithItem> with_items_;
  std::vector<MatchCase> cases_;
  std::vector<ExceptHandler> handlers_;
  std::vector<Arg> args_;
  std::vector<TypeParam*> type_params_;
  std::vector<std::string_view> names_;
  std::vector<CmpOperator> cmp_ops_;
  std::vector<std::uint32_t> token_marks_;
  std::vector<ElifClause> elifs_;
  std::string text_;
};

}  // namespace quarn::py
